#pragma once

#include "agent/web/HVWeb.h"
#include "agent/web/ServerSets.h"

#include <QMap>
#include <QString>
#include <QVariant>

#include <atomic>
#include <functional>

// Values kept from the login answer (tag names in the comments).
struct LoginValues {
  int retCode = 0;                 // RETCODE
  QString encurid;                 // ENCURID
  QString userName;                // USR_NAME
  QString sencurid;                // SENCURID
  QString scenterId;               // SCENTERID
  QString sgroupId;                // SGROUPID
  QString separateType;            // SEPARATE_TYPE
  QString sessionAddr;             // SESSIONADDR
  int sessionPort = 0;             // SESSIONPORT
  QString sessionIp;               // SESSIONIP
  QString noticeContent;           // NOTICE_CONTENT
  int orbenta = 0;                 // ORBENTA
  int remainingMinute = 0;         // REMAINING_MINUTE
  int remainingSecond = 0;         // REMAINING_SECOND
  QString authAddrLocal;           // AUTHADDRLOCAL
  QString passwordInitMessage;     // PASSWORD_INIT_MESSAGE
  QString passwordExpiredMessage;  // PASSWORD_EXPIRED_MESSAGE
  QString skinDir;                 // SKINDIR
  QString wcid;                    // WCID
  int agentForcedKill = 0;         // AGENT_FORCED_KILL (whole answer)
  int inUseCount = 0;              // INUSECOUNT (whole answer)
  QString inUserList;              // INUSERLIST
  int pendingDeleteViewerLog = 30; // PENDINGDELETEVIEWERLOG, 30 when absent or below 1
  int agentLogFileRecord = 0;      // AGENTLOGFILERECORD
  int sslType = 1;                 // SSL_TYPE, 1 when absent
  int channelSecurity = 1;         // 1 real TLS, 2 the other mode (SSL_TYPE 0)
  int camReport = 0;               // CAM_REPORT
  int report = 0;                  // REPORT
  int configAgent = 0;             // CONFIG_AGENT
  int viewerConfigAgent = 0;       // CONFIG_AGENT again, the copy handed to the viewer
  int configFunction = 0;          // CONFIG_FUNCTION, bit 0x20 set after reading
  int maxFileUploadSize = 0;       // MAXFILEUPLOADSIZE
  int remoteCtrl = 0, webChat = 0, remoteMobile = 0, mobileNumberSupport = 0, remoteUsb = 0, remoteCam = 0;
  int pallidor = 0;                // PALLIDOR
  QString networkRecordPath;       // NETWORKRECORDPATH
  int formattedMobileNumber = 0;   // FORMATTED_MOBILE_NUMBER
  QString authAddr, authPort, authUseSsl;  // AUTHADDR, AUTHPORT, AUTHUSESSL
  int feedback = 0;                // FEEDBACK
  int supportTypes = 0;            // permitted support types: 1 chat, 2 remote, 8 mobile, 0x20 cam, 0x40 USB
};

struct UserProfile {
  QString userId, familyName, givenName, displayName, email, telephone;
};

// The console's one web client. Reached through AfxWeb(); created on first use.
class AgentWeb : public HVWeb {
 public:
  enum SupportType { SupportChat = 1, SupportRemote = 2, SupportMobile = 8, SupportCam = 0x20, SupportUsb = 0x40 };

  using TextSource = std::function<QString(const QString& key)>;
  using MessageSink = std::function<void(const QString& title, const QString& text, int style)>;
  // Named values of the settings tree this class reads and writes ("MULTIAUTHSERVER",
  // "SSLType", "SupportType"); the settings store installs its own, the default is in memory.
  using SettingRead = std::function<QVariant(const QString& name)>;
  using SettingWrite = std::function<void(const QString& name, const QVariant& value)>;

  static AgentWeb& Instance();
  AgentWeb();
  ~AgentWeb() override;

  // --- request inputs
  QString AuthPageName() const { return m_authPageName; }
  void SetAuthPageName(const QString& name) { m_authPageName = name; }
  QString Version() const { return m_version; }
  void SetVersion(const QString& v) { m_version = v; }
  QString AuthTargetPage() const { return m_authTargetPage; }
  static QString ProductKey(int productIndex);  // "HELVO", "PALLI", "QUINT"

  // --- hooks wired by the control object and the settings store
  // Texts by IDS_ key: the active language file (HVRes) unless a source is set here.
  void SetTextSource(TextSource source) { m_text = std::move(source); }
  void SetMessageSink(MessageSink sink) { m_messageSink = std::move(sink); }
  void SetSessionRejectedHandler(std::function<void()> handler) { m_sessionRejected = std::move(handler); }
  void SetSettingHooks(SettingRead read, SettingWrite write);
  // Whether the control object found module updates (switches the codec logs with the log).
  void SetUpdateNeeded(bool needed) { m_updateNeeded = needed; }

  // --- sign-in, sign-out
  // 0 no page or no answer, 2 signed in, else the refusal's RETCODE. status: HTTP status.
  int CallAuthPage(int productIndex, int& status, const QString& language);
  // The login's walk over the servers: the primary, then each alternate in order while the
  // outcome is 0 or 901..1000. Leaves the index on the server that gave the outcome.
  int CallAuthPageOverServers(int productIndex, int& status, const QString& language);
  int ParseLoginAnswer(const QString& answer) override;
  int CallAuthOutPage();
  bool CallAgentLogOutPage();
  void SetServiceUrl(const QString& url);
  void GetDataQuery();
  void CancelDataQuery(bool cancel) { m_cancelQuery = cancel; }
  UserProfile Profile() const { return m_profile; }
  bool GetCommonParam(const QString& chatUrlOverride, QString& out) const;
  // CallAuthPage's error code when no server answered (the transport's code).
  int LastLoginError() const { return m_lastLoginError; }

  // --- answer values
  const LoginValues& Values() const { return m_values; }
  QString Encurid() const { return m_values.encurid; }
  QString Url(const QString& tag) const { return m_urls.value(tag); }
  const QMap<QString, QString>& Urls() const { return m_urls; }
  QString ReservationId() const { return m_reservationId; }
  void SetReservationId(const QString& id) { m_reservationId = id; }

  // --- service errors
  QString ServiceErrorText(int code) const override;
  // The message for code; false for codes that show nothing (109). style: 0x10/0x30/0x40.
  bool ComposeServiceError(int code, QString& text, int& style) const;
  void ShowServiceError(int code, bool post);
  void OnSessionRejected() override;

  // --- server sets
  QString AuthPageUrl(const QString& page) const override;
  void StoreAuthServerSet(const QString& answer);
  bool LoadAuthServerSet();
  QList<AuthServerEntry> AuthServers() const { return m_authSet; }
  int AuthServerCount() const { return int(m_authSet.size()); }
  int AuthIndex() const { return m_authIndex; }
  void SelectAuthServer(int index) { m_authIndex = index; }
  QString AlternateAuthUrl(const QString& page) const;
  QString AlternateAuthHost(int i);
  void SwitchAuthServer(const QString& newHost);
  QString AuthScheme() const;
  QString GetAuthSvrID() const;

  bool BuildSessionServerSet(const QString& answer);
  QList<SessionServerEntry> SessionServers() const { return m_sessionSet; }
  int SessionIndex() const { return m_sessionIndex; }
  void SetSessionIndex(int index) { m_sessionIndex = index; }
  QString GetSessionSvrID() const;

  void WriteUpdateServerSet(const QString& answer);

  // --- system facts for the login body
  static QString LocalAddress();
  static QString MacAddress();
  static QString ComputerName();
  static QString OsName();

 private:
  QString Text(const QString& key) const;
  void ReadUrlGroup(const QString& text, const QStringList& tags);
  void ReadSecondUrlGroup(const QString& text);
  void WriteSingleUpdateServer(const QString& answer);
  QVariant ReadSetting(const QString& name) const;
  void WriteSetting(const QString& name, const QVariant& value);
  bool PostWithProxyRepeat(const QString& url, const QString& body, QString& answer, int& status);

  QString m_authPageName = QStringLiteral("AgentLoad.aspx");
  QString m_version;
  QString m_authTargetPage;
  LoginValues m_values;
  QMap<QString, QString> m_urls;
  QString m_reservationId;
  UserProfile m_profile;
  std::atomic<bool> m_cancelQuery{false};
  int m_lastLoginError = 0;
  bool m_updateNeeded = false;

  QList<AuthServerEntry> m_authSet;
  int m_authIndex = 0;
  QList<SessionServerEntry> m_sessionSet;
  int m_sessionIndex = 0;

  TextSource m_text;
  MessageSink m_messageSink;
  std::function<void()> m_sessionRejected;
  SettingRead m_readSetting;
  SettingWrite m_writeSetting;
  QMap<QString, QVariant> m_memorySettings;
};

AgentWeb& AfxWeb();
