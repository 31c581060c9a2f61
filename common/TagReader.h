#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

// The service's tag answer format: each value stands between "<NAME>" and "</NAME>". These
// readers only search and copy what is there; nothing they allocate is sized by the answer's
// own claims, so a broken or hostile answer costs at most a copy of itself.
namespace hv {

// The text between the first occurrence of open and the first occurrence of close after it.
// False (value cleared) when either is missing.
bool GetTagStr(QStringView text, QStringView open, QStringView close, QString& value);

// The value of tag in text; empty when the text or the name is empty or the tag is absent.
QString GetTag(QStringView text, QStringView tag);

// Appends every value of tag, in order. The closing tag is looked up from the same position as
// the opening one (not after it), as the service's own reader does; a missing closing tag ends
// the walk with the values found so far.
void GetTagArray(QStringView text, QStringView tag, QStringList& list);

// Integer by the leading-digits rule: optional spaces, an optional sign, then digits; no digits
// gives 0, values beyond int range are clamped.
int ToIntLeading(QStringView text);

// The pieces of text between separators, in order (empty pieces kept).
QStringList SplitString(const QString& text, QChar separator);

}  // namespace hv
