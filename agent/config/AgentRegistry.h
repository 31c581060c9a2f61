#pragma once

#include <QByteArray>
#include <QRect>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>

#include "common/RegistryEx.h"
#include "common/WebSettings.h"

// The service's public authentication host, used when neither the settings tree nor info.ini
// name one. Deployment data: change it here only.
inline constexpr char kDefaultAuthHost[] = "auth.helvora.net";

// The 80-byte remote-control option record the viewer program reads. The console only keeps it;
// the options tab and the viewer give the bytes their meaning.
struct ViewerOptions {
  static constexpr int kSize = 80;
  std::array<uint8_t, kSize> bytes{};

  static ViewerOptions Defaults();
  // Little-endian fields at fixed offsets.
  uint8_t Byte(int offset) const { return bytes[size_t(offset)]; }
  void SetByte(int offset, uint8_t v) { bytes[size_t(offset)] = v; }
  uint16_t Word(int offset) const;
  void SetWord(int offset, uint16_t v);
  uint32_t Dword(int offset) const;
  void SetDword(int offset, uint32_t v);

  // Named offsets of the fields with a known role.
  static constexpr int kControlMode = 4;    // 'D' or 'P'
  static constexpr int kTransferMode = 52;  // 'R' high speed; 'J' 24-bit, 'Z' fewer bits
  static constexpr int kColorDepth = 55;
  static constexpr int kQuality = 57;       // true-colour quality in percent
};

// "hvOptions" (PC) and "hvOptions_Cam": one record, then 12, 0x60000000 and 0 as 32-bit values.
struct PcOptionsBlock {
  static constexpr int kSize = 92;
  std::array<uint8_t, kSize> bytes{};
  static PcOptionsBlock Defaults();
  ViewerOptions Options() const;
  void SetOptions(const ViewerOptions& o);
};

// "hvOptions_Mobile": two records, one per mobile network mode, then 12 and 0x60000000.
struct MobileOptionsBlock {
  static constexpr int kSize = 168;
  std::array<uint8_t, kSize> bytes{};
  static MobileOptionsBlock Defaults();
  ViewerOptions Options(int mode) const;  // mode 0 or 1
  void SetOptions(int mode, const ViewerOptions& o);
};

// The window-placement record as the original platform stores it (44 bytes, int32 LE each):
// length, flags, showCmd, min position x/y, max position x/y, normal rectangle l/t/r/b.
struct WindowPlacement {
  static constexpr int kSize = 44;
  static constexpr int32_t kShowNormal = 1;
  static constexpr int32_t kShow = 5;

  int32_t length = 0;
  int32_t flags = 0;
  int32_t showCmd = 0;
  int32_t minX = 0, minY = 0;
  int32_t maxX = 0, maxY = 0;
  int32_t left = 0, top = 0, right = 0, bottom = 0;

  // A record for a window whose normal (restored) frame is rect; right/bottom are exclusive.
  static WindowPlacement FromRect(const QRect& normal, int32_t showCmd = kShow);
  QRect NormalRect() const { return QRect(left, top, right - left, bottom - top); }
  bool IsEmpty() const { return length == 0 && right == left && bottom == top; }

  QByteArray ToBytes() const;
  bool FromBytes(const QByteArray& b);  // false unless exactly kSize bytes
};

// The console's settings object: every value the representative chooses, kept in the settings
// tree under Software\KESTRIX\<product>\{Common,Settings,WindowPlacement}.
class CAgentRegistry : public CRegistryBase {
 public:
  // Reads the current placement of the main window; false when there is none.
  using PlacementProvider = std::function<bool(WindowPlacement&)>;
  // Finds a proxy for host:port; true and the record filled when one was found.
  using ProxyDiscovery = std::function<bool(const QString& host, int port, ServerRecord& proxy)>;

  CAgentRegistry();

  WindowPlacement m_AgentPlacement;  // WindowPlacement\AgentPlacement6.0
  MobileOptionsBlock m_hvOptionsMobile;
  PcOptionsBlock m_hvOptions;
  PcOptionsBlock m_hvOptionsCam;
  QString m_strDocPath;
  int m_nSupportType = 2;
  int m_bOBSaveAccount = 0;
  int m_bSaveAccount = 0;
  int m_bAutoStandby = 0;
  int m_nLockTime = 0;       // LockTime_6.0, minutes
  int m_nAutoCloseTime = 0;  // AutoCloseTime_6.0, minutes
  int m_bTrayNotUse = 1;
  int m_nDoNotSeeAgain = 0;     // 0x1 logout question, 0x2 close question
  int m_nDoNotSeeAgainRun = 0;  // bits ticked in this run, merged on save
  QString m_strCamFolder;
  QString m_strCrmParam;

  void LoadSettings(WebSettings& web);
  void SaveSettings(WebSettings& web, const PlacementProvider& placement = {});
  void SaveAuthServerToIni(const WebSettings& web);
  void MigrateLegacyTimes();

  // Step 9 of loading: the web client installs its proxy discovery here.
  void SetProxyDiscovery(ProxyDiscovery discovery) { m_discovery = std::move(discovery); }

  // Saves a placement under a value name with the show state forced to "show"; reads one back.
  bool SavePlacement(const QString& name, WindowPlacement placement);
  bool LoadPlacement(const QString& name, WindowPlacement& placement);

  QString InfoIniPath() const;

 private:
  ProxyDiscovery m_discovery;
};

// The single settings object, created on first use (product key "Helvora").
CAgentRegistry* AfxRegistry();
