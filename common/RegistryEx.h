#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace hv {
class SettingsTree;
}

// Roots of the settings tree. Only the current user's tree exists on this platform; the machine
// root opens nothing (callers treat it as a missing key, as they would on a machine without it).
enum class RegRoot { CurrentUser, LocalMachine };

// Result codes of the last call, with the registry's numbers so log lines read the same.
namespace RegResult {
constexpr long Success = 0;
constexpr long FileNotFound = 2;    // key or value missing
constexpr long AccessDenied = 5;    // the store could not be written
constexpr long InvalidHandle = 6;   // no key open
constexpr long InvalidData = 13;    // value of another type
constexpr long InvalidParameter = 87;
constexpr long MoreData = 234;      // value larger than the caller's buffer
}  // namespace RegResult

// Value types as the registry numbers them (0 when the last call found no value).
namespace RegType {
constexpr int None = 0;
constexpr int String = 1;
constexpr int Binary = 3;
constexpr int Dword = 4;
}  // namespace RegType

// A thin wrapper of one open key of the settings tree. It remembers the result code, the value
// type and the value size (in bytes, as stored: strings count UTF-16 units plus a terminator) of
// its last call.
class RegistryEx {
 public:
  RegistryEx() = default;
  // A wrapper over another tree (tests, tools); default is the current user's tree.
  explicit RegistryEx(hv::SettingsTree* tree) : m_tree(tree) {}

  long Open(RegRoot root, const QString& subKey);    // full access; fails when the key is missing
  long Create(RegRoot root, const QString& subKey);  // creates missing keys (non-volatile)
  void Close();
  bool IsOpen() const { return m_open; }
  QString KeyPath() const { return m_key; }

  long QueryDWORD(const QString& name, uint32_t& value);
  // capacityBytes counts the terminator, as the registry's byte-sized buffers do; a longer value
  // fails with MoreData and leaves text untouched.
  long QueryString(const QString& name, QString& text, int capacityBytes = 1024);
  // Copies at most size bytes; a larger stored value fails with MoreData and leaves the buffer
  // untouched. LastSize() tells the stored size.
  long QueryBinary(const QString& name, void* buffer, int size);
  long SetDWORD(const QString& name, uint32_t value);
  long SetString(const QString& name, const QString& text);
  long SetBinary(const QString& name, const void* data, int size);
  long DeleteValue(const QString& name);

  long LastResult() const { return m_result; }
  int LastType() const { return m_type; }
  int LastSize() const { return m_size; }

 private:
  hv::SettingsTree& Tree() const;
  long Done(long result, int type = RegType::None, int size = 0);

  hv::SettingsTree* m_tree = nullptr;
  QString m_key;
  bool m_open = false;
  long m_result = RegResult::Success;
  int m_type = RegType::None;
  int m_size = 0;
};

// The key scheme shared by the console, the report tool and the bridge library:
// "Software\KESTRIX" + "\" + product key + "\" + subkey (empty parts left out with their separator).
class CRegistryBase {
 public:
  static constexpr const char* kCompanyKey = "Software\\KESTRIX";
  static constexpr const char* kCommon = "Common";
  static constexpr const char* kSettings = "Settings";
  static constexpr const char* kWindowPlacement = "WindowPlacement";
  // Strings are read with a buffer of this many bytes, terminator included (511 characters).
  static constexpr int kStringBytes = 1024;

  explicit CRegistryBase(RegRoot root = RegRoot::CurrentUser, const QString& productKey = QStringLiteral("Helvora"));
  virtual ~CRegistryBase() = default;

  // Product key for a product type (0 Helvora, 1 Pallidor, 2 Quintera, 201 Sorvella, 202 Orbenta,
  // 203 Vestrel); any other type keeps the current key.
  static QString ProductKeyForType(int productType, const QString& current);
  void SetProductKeyFromType(int productType) { m_productKey = ProductKeyForType(productType, m_productKey); }

  RegRoot Root() const { return m_root; }
  QString CompanyKey() const { return m_companyKey; }
  QString ProductKey() const { return m_productKey; }
  void SetProductKey(const QString& key) { m_productKey = key; }
  // The program folder that holds info.ini (the program instance on the original platform).
  QString ProgramDir() const;
  void SetProgramDir(const QString& dir) { m_programDir = dir; }
  QString KeyPath(const QString& subKey) const;

  // A read stores the default first, then overwrites it when the value exists; a missing key or
  // value keeps the default and returns false. An empty value name fails at once.
  bool ReadDWORD(const QString& subKey, const QString& name, uint32_t& out, uint32_t def);
  bool ReadInt(const QString& subKey, const QString& name, int& out, int def);
  bool ReadString(const QString& subKey, const QString& name, QString& out, const QString& def);
  // Exactly size bytes: a block of any other size is not this block, and the buffer stays untouched.
  bool ReadBinary(const QString& subKey, const QString& name, void* buffer, int size);
  bool WriteDWORD(const QString& subKey, const QString& name, uint32_t value);
  bool WriteString(const QString& subKey, const QString& name, const QString& text);
  bool WriteBinary(const QString& subKey, const QString& name, const void* data, int size);

  // One set per subkey, as the settings code names them.
  bool ReadCommonDWORD(const QString& n, uint32_t& o, uint32_t d) { return ReadDWORD(QLatin1String(kCommon), n, o, d); }
  bool ReadCommonString(const QString& n, QString& o, const QString& d) { return ReadString(QLatin1String(kCommon), n, o, d); }
  bool ReadCommonBinary(const QString& n, void* b, int s) { return ReadBinary(QLatin1String(kCommon), n, b, s); }
  bool WriteCommonDWORD(const QString& n, uint32_t v) { return WriteDWORD(QLatin1String(kCommon), n, v); }
  bool WriteCommonString(const QString& n, const QString& v) { return WriteString(QLatin1String(kCommon), n, v); }
  bool WriteCommonBinary(const QString& n, const void* b, int s) { return WriteBinary(QLatin1String(kCommon), n, b, s); }
  bool ReadSettingsDWORD(const QString& n, uint32_t& o, uint32_t d) { return ReadDWORD(QLatin1String(kSettings), n, o, d); }
  bool ReadSettingsInt(const QString& n, int& o, int d) { return ReadInt(QLatin1String(kSettings), n, o, d); }
  bool ReadSettingsString(const QString& n, QString& o, const QString& d) { return ReadString(QLatin1String(kSettings), n, o, d); }
  bool ReadSettingsBinary(const QString& n, void* b, int s) { return ReadBinary(QLatin1String(kSettings), n, b, s); }
  bool WriteSettingsDWORD(const QString& n, uint32_t v) { return WriteDWORD(QLatin1String(kSettings), n, v); }
  bool WriteSettingsString(const QString& n, const QString& v) { return WriteString(QLatin1String(kSettings), n, v); }
  bool WriteSettingsBinary(const QString& n, const void* b, int s) { return WriteBinary(QLatin1String(kSettings), n, b, s); }
  bool ReadPlacementBinary(const QString& n, void* b, int s) { return ReadBinary(QLatin1String(kWindowPlacement), n, b, s); }
  bool WritePlacementBinary(const QString& n, const void* b, int s) { return WriteBinary(QLatin1String(kWindowPlacement), n, b, s); }

 protected:
  RegRoot m_root;
  QString m_companyKey;
  QString m_productKey;
  QString m_programDir;
};
