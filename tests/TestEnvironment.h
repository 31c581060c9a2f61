#pragma once

#include <QTemporaryDir>
#include <QString>

#include <cstdlib>

// Points every folder Helvora writes to at a fresh temporary folder, so a test never touches the
// user's real settings, documents or desktop. Create it before anything reads a folder.
class TestEnvironment {
 public:
  TestEnvironment() {
    const QByteArray root = m_dir.path().toUtf8();
    for (const char* name : {"HV_CONFIG_DIR", "HV_DOCUMENTS_DIR", "HV_RUNTIME_DIR", "HV_DESKTOP_DIR"}) {
      const QByteArray sub = root + '/' + QByteArray(name).mid(3).toLower();
      setenv(name, sub.constData(), 1);
    }
    setenv("HV_OPENER", "/bin/true", 1);
  }
  QString Path() const { return m_dir.path(); }

 private:
  QTemporaryDir m_dir;
};
