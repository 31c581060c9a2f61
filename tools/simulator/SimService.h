#pragma once

#include "tools/simulator/SimHttpServer.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

// The service's web side: sign-in in its three modes, the confirmation and logout pages, the
// service URL refresh and the profile page, answered in the tag format, plus the control pages
// under /_sim/. One instance serves every listener (the primary server over HTTP and HTTPS and
// each alternate authentication server); each listener tells which server it is.
class SimService : public QObject {
  Q_OBJECT
 public:
  static constexpr const char* kDemoId = "demo";
  static constexpr const char* kDemoPassword = "demo1234";
  static constexpr const char* kDemoName = "Demo Agent";

  struct SessionServerInfo {
    QString host;
    int port = 0;
    QString id;
  };

  explicit SimService(QObject* parent = nullptr);

  // Listeners: index 0 is the primary server, 1.. the alternates. All alternates share the
  // primary's port on another loopback address, so switching hosts in the service URLs works.
  void SetServers(const QList<SimHttpServer*>& servers, const QStringList& hosts, int port, SimHttpServer* https);
  void SetSessionServers(const QList<SessionServerInfo>& list) { m_sessionServers = list; }
  // Forwarded POST /_sim/sserver/<index>/<action>.
  void SetSessionServerControl(std::function<QJsonObject(int, const QString&, const QJsonObject&)> control) {
    m_sserverControl = std::move(control);
  }

  // The update server (below /update/): the console file "HVAgent" of this program folder and
  // the Version of its bldinfo.ini, read and hashed once here. False when there is no console file
  // to list (the update pages then answer 404; a made-up file is never listed).
  bool SetUpdateFolder(const QString& programDir);
  QString UpdateVersion() const { return m_update.version; }
  QString UpdateProblem() const { return m_update.problem; }

  SimResponse Handle(int serverIndex, bool tls, const SimRequest& request);

  QJsonArray Requests() const { return m_requests; }
  void Reset();
  // The password that the console's cipher produced, decrypted (empty when it is not one).
  static QString DecryptPassword(const QString& encoded);
  static QList<QPair<QString, QString>> DecodeForm(const QByteArray& body);

 private:
  SimResponse Control(const SimRequest& request);
  SimResponse Login(int serverIndex, bool tls, const SimRequest& request, int mode);
  QString BaseUrl(int serverIndex, bool tls) const;
  QString SuccessAnswer(int serverIndex, bool tls, const QString& id, const QString& encurid) const;
  QString ServerState(int index) const;
  SimResponse UpdatePage(const QString& name) const;
  void ApplyServerStates();

  QList<SimHttpServer*> m_servers;
  QStringList m_hosts;
  int m_port = 0;
  SimHttpServer* m_https = nullptr;
  QList<SessionServerInfo> m_sessionServers;
  std::function<QJsonObject(int, const QString&, const QJsonObject&)> m_sserverControl;

  struct UpdateFile {
    QString path;       // empty: nothing to serve
    QString version;    // from bldinfo.ini
    qint64 size = 0;
    QByteArray sha256;  // hex
    QDateTime modified;
    QString problem;    // why nothing is served
  } m_update;

  QJsonArray m_requests;
  QJsonObject m_config;
  int m_sessionCounter = 0;
  QStringList m_sessions;  // encurid values handed out
};
