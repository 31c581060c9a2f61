#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

#include <functional>

class QApplication;

// The look shared by every Helvora window: one style sheet, the font face of the active
// language, and images by number.
namespace skin {

void ApplyStyle(QApplication& app, const QString& fontFace);

// Images by number come from the resource manager; until one is installed the Images folder
// of the program is read directly (<number>.svg, then <number>.png).
using ImageProvider = std::function<QPixmap(int number)>;
void SetImageProvider(ImageProvider provider);
QPixmap Image(int number);
QIcon Icon(int number);

// Message box results and styles, as the console's callers use them.
enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };
enum : int {
  MB_OK = 0x0,
  MB_OKCANCEL = 0x1,
  MB_YESNO = 0x4,
  MB_ICONERROR = 0x10,
  MB_ICONQUESTION = 0x20,
  MB_ICONWARNING = 0x30,
  MB_ICONINFORMATION = 0x40,
};

}  // namespace skin
