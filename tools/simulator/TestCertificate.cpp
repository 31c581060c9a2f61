#include "tools/simulator/TestCertificate.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <memory>

namespace {
bool AddExtension(X509* cert, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  if (!ext) return false;
  const bool ok = X509_add_ext(cert, ext, -1) == 1;
  X509_EXTENSION_free(ext);
  return ok;
}
}  // namespace

bool WriteTestCertificate(const QString& folder, QString& certPath, QString& keyPath, QString& error) {
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_EC_gen("P-256"), &EVP_PKEY_free);
  std::unique_ptr<X509, decltype(&X509_free)> cert(X509_new(), &X509_free);
  if (!key || !cert) {
    error = QStringLiteral("OpenSSL could not create a key");
    return false;
  }
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), long(QDateTime::currentSecsSinceEpoch() & 0x7fffffff));
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 365L * 24 * 3600);
  X509_set_pubkey(cert.get(), key.get());
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
  X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Helvora test"), -1, -1, 0);
  X509_set_issuer_name(cert.get(), name);
  if (!AddExtension(cert.get(), NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1") ||
      !AddExtension(cert.get(), NID_basic_constraints, "critical,CA:TRUE") ||
      !AddExtension(cert.get(), NID_key_usage, "critical,digitalSignature,keyCertSign") ||
      !AddExtension(cert.get(), NID_subject_key_identifier, "hash") ||
      X509_sign(cert.get(), key.get(), EVP_sha256()) <= 0) {
    error = QStringLiteral("OpenSSL could not sign the certificate");
    return false;
  }
  QDir().mkpath(folder);
  certPath = QDir(folder).filePath(QStringLiteral("hvsim-cert.pem"));
  keyPath = QDir(folder).filePath(QStringLiteral("hvsim-key.pem"));
  FILE* cf = std::fopen(QFile::encodeName(certPath).constData(), "wb");
  FILE* kf = std::fopen(QFile::encodeName(keyPath).constData(), "wb");
  const bool ok = cf && kf && PEM_write_X509(cf, cert.get()) == 1 &&
                  PEM_write_PrivateKey(kf, key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1;
  if (cf) std::fclose(cf);
  if (kf) std::fclose(kf);
  if (!ok) error = QStringLiteral("cannot write the certificate files");
  return ok;
}
