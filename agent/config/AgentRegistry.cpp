#include "agent/config/AgentRegistry.h"

#include "common/SettingsTree.h"

#include <QDir>
#include <QtEndian>

#include <cstring>

#include "agent/log/DeveloperLog.h"
#include "common/IniFile.h"

namespace {

const QString kAuthInfo = QStringLiteral("AuthInfo");
const QString kGeneral = QStringLiteral("General");

void PutU32(uint8_t* p, uint32_t v) { qToLittleEndian<quint32>(v, p); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Option blocks

uint16_t ViewerOptions::Word(int offset) const { return qFromLittleEndian<quint16>(bytes.data() + offset); }
void ViewerOptions::SetWord(int offset, uint16_t v) { qToLittleEndian<quint16>(v, bytes.data() + offset); }
uint32_t ViewerOptions::Dword(int offset) const { return qFromLittleEndian<quint32>(bytes.data() + offset); }
void ViewerOptions::SetDword(int offset, uint32_t v) { qToLittleEndian<quint32>(v, bytes.data() + offset); }

ViewerOptions ViewerOptions::Defaults() {
  ViewerOptions o;
  o.SetByte(0, 4);
  o.SetByte(kControlMode, 'D');
  o.SetByte(5, 0);
  o.SetWord(12, 40);
  o.SetDword(48, 8);
  o.SetByte(kTransferMode, 'J');
  o.SetByte(kColorDepth, 8);
  o.SetByte(56, 0);
  o.SetByte(kQuality, 75);
  o.SetDword(60, 1280);
  return o;
}

PcOptionsBlock PcOptionsBlock::Defaults() {
  PcOptionsBlock b;
  b.SetOptions(ViewerOptions::Defaults());
  PutU32(b.bytes.data() + 80, 12);
  PutU32(b.bytes.data() + 84, 0x60000000u);
  PutU32(b.bytes.data() + 88, 0);
  return b;
}

ViewerOptions PcOptionsBlock::Options() const {
  ViewerOptions o;
  std::memcpy(o.bytes.data(), bytes.data(), ViewerOptions::kSize);
  return o;
}

void PcOptionsBlock::SetOptions(const ViewerOptions& o) {
  std::memcpy(bytes.data(), o.bytes.data(), ViewerOptions::kSize);
}

MobileOptionsBlock MobileOptionsBlock::Defaults() {
  MobileOptionsBlock b;
  b.SetOptions(0, ViewerOptions::Defaults());
  b.SetOptions(1, ViewerOptions::Defaults());
  PutU32(b.bytes.data() + 160, 12);
  PutU32(b.bytes.data() + 164, 0x60000000u);
  return b;
}

ViewerOptions MobileOptionsBlock::Options(int mode) const {
  ViewerOptions o;
  std::memcpy(o.bytes.data(), bytes.data() + (mode == 1 ? ViewerOptions::kSize : 0), ViewerOptions::kSize);
  return o;
}

void MobileOptionsBlock::SetOptions(int mode, const ViewerOptions& o) {
  std::memcpy(bytes.data() + (mode == 1 ? ViewerOptions::kSize : 0), o.bytes.data(), ViewerOptions::kSize);
}

// ---------------------------------------------------------------------------------------------
// Window placement

WindowPlacement WindowPlacement::FromRect(const QRect& normal, int32_t show) {
  WindowPlacement p;
  p.length = kSize;
  p.showCmd = show;
  p.minX = p.minY = p.maxX = p.maxY = -1;  // "no position" as the original platform writes it
  p.left = normal.left();
  p.top = normal.top();
  p.right = normal.left() + normal.width();
  p.bottom = normal.top() + normal.height();
  return p;
}

QByteArray WindowPlacement::ToBytes() const {
  QByteArray out(kSize, '\0');
  const int32_t fields[] = {length, flags, showCmd, minX, minY, maxX, maxY, left, top, right, bottom};
  for (int i = 0; i < 11; ++i) qToLittleEndian<qint32>(fields[i], out.data() + 4 * i);
  return out;
}

bool WindowPlacement::FromBytes(const QByteArray& b) {
  if (b.size() != kSize) return false;
  int32_t* fields[] = {&length, &flags, &showCmd, &minX, &minY, &maxX, &maxY, &left, &top, &right, &bottom};
  for (int i = 0; i < 11; ++i) *fields[i] = qFromLittleEndian<qint32>(b.constData() + 4 * i);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Settings object

CAgentRegistry::CAgentRegistry() : CRegistryBase(RegRoot::CurrentUser, QStringLiteral("Helvora")) {}

QString CAgentRegistry::InfoIniPath() const { return QDir(ProgramDir()).filePath(QStringLiteral("info.ini")); }

bool CAgentRegistry::SavePlacement(const QString& name, WindowPlacement placement) {
  placement.length = WindowPlacement::kSize;
  placement.showCmd = WindowPlacement::kShow;
  const QByteArray bytes = placement.ToBytes();
  return WritePlacementBinary(name, bytes.constData(), int(bytes.size()));
}

bool CAgentRegistry::LoadPlacement(const QString& name, WindowPlacement& placement) {
  QByteArray bytes(WindowPlacement::kSize, '\0');
  if (!ReadPlacementBinary(name, bytes.data(), int(bytes.size()))) return false;
  return placement.FromBytes(bytes);
}

void CAgentRegistry::LoadSettings(WebSettings& web) {
  HVLOG(0, "==>CAgentRegistry::LoadSettings");
  QByteArray block(ServerRecord::kSize, '\0');
  if (ReadCommonBinary(QStringLiteral("AuthInfo"), block.data(), ServerRecord::kSize)) web.authServer.FromBytes(block);
  if (ReadCommonBinary(QStringLiteral("OBAuthInfo"), block.data(), ServerRecord::kSize)) web.obAuthServer.FromBytes(block);

  QString address;
  ReadCommonString(QStringLiteral("AuthAddr"), address, QString());
  uint32_t d = 0;
  ReadCommonDWORD(QStringLiteral("AuthPort"), d, 443);
  web.authServer.port = int32_t(d);

  ReadCommonString(QStringLiteral("DocPath"), m_strDocPath, QString());

  if (ReadCommonBinary(QStringLiteral("Proxy"), block.data(), ServerRecord::kSize)) web.proxy.FromBytes(block);
  ReadCommonDWORD(QStringLiteral("ProxyType"), d, 2);
  web.proxyType = int(d);

  if (!ReadCommonDWORD(QStringLiteral("CommType2"), d, 4)) ReadCommonDWORD(QStringLiteral("CommType"), d, 0);
  web.commType = int(d);
  if (web.commType & 0x1) web.commType = 4;

  if (address.isEmpty()) {
    CIniFile ini(InfoIniPath());
    address = ini.GetString(kAuthInfo, QStringLiteral("AuthAddr"), QString());
    web.authServer.port = ini.GetInt(kAuthInfo, QStringLiteral("AuthPort"), 443);
    if (address.isEmpty()) address = QString::fromLatin1(kDefaultAuthHost);
    web.commType = web.authServer.port == 443 ? 4 : 0;
  }
  web.authServer.SetHost(address);

  if (web.proxyType == 0) web.proxyType = 2;
  if ((web.proxyType & 0x4) && m_discovery) {
    ServerRecord found;
    if (m_discovery(address, 443, found)) web.proxy = found;
  }

  ReadSettingsInt(QStringLiteral("SupportType"), m_nSupportType, 2);
  ReadSettingsInt(QStringLiteral("SaveAccount"), m_bSaveAccount, 0);
  ReadSettingsInt(QStringLiteral("AutoStandby"), m_bAutoStandby, 0);
  ReadSettingsInt(QStringLiteral("OBSaveAccount"), m_bOBSaveAccount, 0);

  if (!ReadSettingsBinary(QStringLiteral("hvOptions"), m_hvOptions.bytes.data(), PcOptionsBlock::kSize))
    m_hvOptions = PcOptionsBlock::Defaults();
  if (!ReadSettingsBinary(QStringLiteral("hvOptions_Mobile"), m_hvOptionsMobile.bytes.data(), MobileOptionsBlock::kSize))
    m_hvOptionsMobile = MobileOptionsBlock::Defaults();
  ReadSettingsBinary(QStringLiteral("hvOptions_Cam"), m_hvOptionsCam.bytes.data(), PcOptionsBlock::kSize);

  LoadPlacement(QStringLiteral("AgentPlacement6.0"), m_AgentPlacement);

  ReadSettingsInt(QStringLiteral("LockTime_6.0"), m_nLockTime, 0);
  ReadSettingsInt(QStringLiteral("AutoCloseTime_6.0"), m_nAutoCloseTime, 0);
  ReadSettingsInt(QStringLiteral("TrayNoUse"), m_bTrayNotUse, 1);
  ReadSettingsInt(QStringLiteral("DoNotSeeAgain"), m_nDoNotSeeAgain, 0);
  int legacy = 0;
  ReadSettingsInt(QStringLiteral("NotUseLogoutMessage"), legacy, 0);
  if (legacy == 1) m_nDoNotSeeAgain |= 0x1;

  ReadSettingsString(QStringLiteral("CamFolder"), m_strCamFolder, QString());
  HVLOG(0, "<==CAgentRegistry::LoadSettings : AuthAddr=%s, AuthPort=%d, CommType=%d, ProxyType=%d",
        address.toUtf8().constData(), int(web.authServer.port), web.commType, web.proxyType);
}

void CAgentRegistry::SaveSettings(WebSettings& web, const PlacementProvider& placement) {
  HVLOG(0, "==>CAgentRegistry::SaveSettings");
  // Every value below is written independently, but reaches the file in one write.
  hv::SettingsTree::Batch batch(hv::SettingsTree::ForCurrentUser());
  // The account is kept in memory for this session; only the stored copy forgets it.
  ServerRecord auth = web.authServer;
  ServerRecord obAuth = web.obAuthServer;
  if (!m_bSaveAccount) {
    auth.SetUser(QString());
    auth.SetPassword(QString());
  }
  if (!m_bOBSaveAccount) {
    obAuth.SetUser(QString());
    obAuth.SetPassword(QString());
  }
  // Every write is independent: a failed one does not stop the rest.
  QByteArray bytes = auth.ToBytes();
  WriteCommonBinary(QStringLiteral("AuthInfo"), bytes.constData(), int(bytes.size()));
  WriteSettingsDWORD(QStringLiteral("SaveAccount"), uint32_t(m_bSaveAccount));
  WriteSettingsDWORD(QStringLiteral("AutoStandby"), uint32_t(m_bAutoStandby));

  bytes = obAuth.ToBytes();
  WriteCommonBinary(QStringLiteral("OBAuthInfo"), bytes.constData(), int(bytes.size()));
  WriteCommonString(QStringLiteral("AuthAddr"), auth.Host());
  WriteCommonDWORD(QStringLiteral("AuthPort"), uint32_t(auth.port));
  WriteCommonString(QStringLiteral("DocPath"), m_strDocPath);
  bytes = web.proxy.ToBytes();
  WriteCommonBinary(QStringLiteral("Proxy"), bytes.constData(), int(bytes.size()));
  WriteCommonDWORD(QStringLiteral("ProxyType"), uint32_t(web.proxyType));
  WriteCommonDWORD(QStringLiteral("CommType2"), uint32_t(web.commType));
  WriteSettingsDWORD(QStringLiteral("SupportType"), uint32_t(m_nSupportType));
  WriteSettingsDWORD(QStringLiteral("OBSaveAccount"), uint32_t(m_bOBSaveAccount));
  WriteSettingsBinary(QStringLiteral("hvOptions"), m_hvOptions.bytes.data(), PcOptionsBlock::kSize);
  WriteSettingsBinary(QStringLiteral("hvOptions_Mobile"), m_hvOptionsMobile.bytes.data(), MobileOptionsBlock::kSize);
  WriteSettingsBinary(QStringLiteral("hvOptions_Cam"), m_hvOptionsCam.bytes.data(), PcOptionsBlock::kSize);

  WindowPlacement current;
  if (placement && placement(current)) {
    current.showCmd = WindowPlacement::kShow;
    m_AgentPlacement = current;
    SavePlacement(QStringLiteral("AgentPlacement6.0"), current);
  }

  WriteSettingsDWORD(QStringLiteral("LockTime_6.0"), uint32_t(m_nLockTime));
  WriteSettingsDWORD(QStringLiteral("AutoCloseTime_6.0"), uint32_t(m_nAutoCloseTime));
  WriteSettingsDWORD(QStringLiteral("TrayNoUse"), uint32_t(m_bTrayNotUse));

  // Bits are only ever added: what is stored now, what this process loaded, the older logout
  // switch and the boxes ticked in this run.
  const int loaded = m_nDoNotSeeAgain;
  int stored = 0;
  int legacy = 0;
  ReadSettingsInt(QStringLiteral("DoNotSeeAgain"), stored, 0);
  ReadSettingsInt(QStringLiteral("NotUseLogoutMessage"), legacy, 0);
  m_nDoNotSeeAgain = stored | loaded | (legacy == 1 ? 0x1 : 0) | m_nDoNotSeeAgainRun;
  WriteSettingsDWORD(QStringLiteral("DoNotSeeAgain"), uint32_t(m_nDoNotSeeAgain));

  WriteSettingsString(QStringLiteral("CamFolder"), m_strCamFolder);
  HVLOG(0, "<==CAgentRegistry::SaveSettings");
}

void CAgentRegistry::SaveAuthServerToIni(const WebSettings& web) {
  CIniFile ini(InfoIniPath());
  ini.SetString(kAuthInfo, QStringLiteral("AuthAddr"), web.authServer.Host());
  ini.SetInt(kAuthInfo, QStringLiteral("AuthPort"), web.authServer.port);
}

void CAgentRegistry::MigrateLegacyTimes() {
  CIniFile ini(InfoIniPath());
  if (ini.GetInt(kGeneral, QStringLiteral("AgentRegUpdate"), 0) > 0) return;
  // Only an older on/off value is carried over: without one, a time the agent already chose
  // (in another program folder of the same user) is kept instead of being reset to 0.
  int lock = 0;
  int autoClose = 0;
  if (ReadSettingsInt(QStringLiteral("Lock"), lock, 0)) {
    m_nLockTime = lock != 0 ? 10 : 0;
    WriteSettingsDWORD(QStringLiteral("LockTime_6.0"), uint32_t(m_nLockTime));
  }
  if (ReadSettingsInt(QStringLiteral("AutoClose"), autoClose, 0)) {
    m_nAutoCloseTime = autoClose != 0 ? 10 : 0;
    WriteSettingsDWORD(QStringLiteral("AutoCloseTime_6.0"), uint32_t(m_nAutoCloseTime));
  }
  ini.SetInt(kGeneral, QStringLiteral("AgentRegUpdate"), 1);
  HVLOG(1, "CAgentRegistry::MigrateLegacyTimes : LockTime=%d, AutoCloseTime=%d", m_nLockTime, m_nAutoCloseTime);
}

CAgentRegistry* AfxRegistry() {
  static CAgentRegistry* s_registry = new CAgentRegistry();  // lives until the process ends
  return s_registry;
}
