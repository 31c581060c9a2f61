#pragma once

#include <QString>

// Writes a self-signed certificate for "localhost" and 127.0.0.1 (EC P-256, valid one year, usable
// as its own CA) and its key as PEM files into folder. False with a message on failure.
bool WriteTestCertificate(const QString& folder, QString& certPath, QString& keyPath, QString& error);
