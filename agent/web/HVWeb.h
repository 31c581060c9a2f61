#pragma once

#include "agent/web/HttpClient.h"

#include <QString>

// The service-page layer over the transport: page addresses on the authentication server, the
// tag answer with its RETCODE, and the three page calls every caller uses.
class HVWeb : public HttpClient {
 public:
  static constexpr int kBodyUnits = 10240;  // a longer body is cut to this length
  static constexpr int kRetSuccess = 100;
  static constexpr int kRetSessionRejected = 9999;

  // CallPageCode results
  enum PageCode { PageNoUrl = 1, PageTransportFailed = 2, PageSuccess = 3, PageRefused = 4 };

  HVWeb();
  ~HVWeb() override;

  // The authentication server lives in the settings record; the secure flag is its comm type.
  ServerRecord& AuthServer() { return m_settings.authServer; }
  const ServerRecord& AuthServer() const { return m_settings.authServer; }
  bool Secure() const { return (m_settings.commType & 0x5) != 0; }
  void SetSecure(bool on) { m_settings.commType = on ? 4 : 0; }
  int Encoding() const { return 1; }  // always UTF-8

  int LoginMode() const { return m_loginMode; }
  void SetLoginMode(int mode) { m_loginMode = mode; }
  QString ExternalGroupId() const { return m_externalGroupId; }
  void SetExternalGroupId(const QString& id) { m_externalGroupId = id; }
  QString ExternalUserId() const { return m_externalUserId; }
  void SetExternalUserId(const QString& id) { m_externalUserId = id; }
  // Back to a normal login (login window and logout).
  void ResetLoginMode();

  int LastReturnCode() const { return m_lastReturnCode; }
  // What went wrong with the last failed transfer, for the user and the log.
  QString LastErrorText() const { return m_lastErrorText; }

  // Full URL of a page on the (primary) authentication server.
  virtual QString AuthPageUrl(const QString& page) const;
  // Fills the login values from the answer; 2 when RETCODE is 100, else RETCODE.
  virtual int ParseLoginAnswer(const QString& answer);
  virtual QString ServiceErrorText(int code) const;
  virtual void OnSessionRejected();

  // The post with logging; answer cleaned, status out. False on a transport failure.
  bool PostPage(const QString& url, const QString& body, QString& answer, int& status);

  QString CallPageEx(const QString& url, const QString& body);
  int CallPageCode(const QString& url, const QString& body);
  QString CallPageViewerForceClose(const QString& url, const QString& body);

  static QString GetTag(const QString& text, const QString& tag);
  static void GetTagArray(const QString& text, const QString& tag, QStringList& list);

 protected:
  // The primary form of the auth page rule (index 0 of the server set).
  QString PrimaryAuthPageUrl(const QString& page) const;
  void LogTransportFailure();

  int m_loginMode = 0;
  QString m_externalGroupId;
  QString m_externalUserId;
  int m_lastReturnCode = 0;
  QString m_lastErrorText;
};
