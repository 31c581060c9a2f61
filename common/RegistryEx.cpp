#include "common/RegistryEx.h"

#include <QtEndian>

#include <cstring>

#include "common/SettingsTree.h"
#include "platform/Paths.h"

using hv::SettingsTree;
using hv::SettingsType;
using hv::SettingsValue;

SettingsTree& RegistryEx::Tree() const { return m_tree ? *m_tree : SettingsTree::ForCurrentUser(); }

long RegistryEx::Done(long result, int type, int size) {
  m_result = result;
  m_type = type;
  m_size = size;
  return result;
}

long RegistryEx::Open(RegRoot root, const QString& subKey) {
  Close();
  const QString path = SettingsTree::NormaliseKey(subKey);
  if (root != RegRoot::CurrentUser || path.isEmpty() || !Tree().KeyExists(path)) return Done(RegResult::FileNotFound);
  m_key = path;
  m_open = true;
  return Done(RegResult::Success);
}

long RegistryEx::Create(RegRoot root, const QString& subKey) {
  Close();
  const QString path = SettingsTree::NormaliseKey(subKey);
  if (root != RegRoot::CurrentUser) return Done(RegResult::AccessDenied);
  if (path.isEmpty()) return Done(RegResult::InvalidParameter);
  if (!Tree().CreateKey(path)) return Done(RegResult::AccessDenied);
  m_key = path;
  m_open = true;
  return Done(RegResult::Success);
}

void RegistryEx::Close() {
  m_open = false;
  m_key.clear();
}

long RegistryEx::QueryDWORD(const QString& name, uint32_t& value) {
  if (!m_open) return Done(RegResult::InvalidHandle);
  const auto v = Tree().Query(m_key, name);
  if (!v) return Done(RegResult::FileNotFound);
  if (v->type != SettingsType::Dword) return Done(RegResult::InvalidData, int(v->type));
  value = v->dword;
  return Done(RegResult::Success, RegType::Dword, 4);
}

long RegistryEx::QueryString(const QString& name, QString& text, int capacityBytes) {
  if (!m_open) return Done(RegResult::InvalidHandle);
  const auto v = Tree().Query(m_key, name);
  if (!v) return Done(RegResult::FileNotFound);
  if (v->type != SettingsType::String) return Done(RegResult::InvalidData, int(v->type));
  const int bytes = int(v->text.size() + 1) * 2;
  if (bytes > capacityBytes) return Done(RegResult::MoreData, RegType::String, bytes);
  text = v->text;
  return Done(RegResult::Success, RegType::String, bytes);
}

long RegistryEx::QueryBinary(const QString& name, void* buffer, int size) {
  if (!m_open) return Done(RegResult::InvalidHandle);
  if (!buffer || size < 0) return Done(RegResult::InvalidParameter);
  const auto v = Tree().Query(m_key, name);
  if (!v) return Done(RegResult::FileNotFound);
  if (v->type != SettingsType::Binary) return Done(RegResult::InvalidData, int(v->type));
  const int stored = int(v->bytes.size());
  if (stored > size) return Done(RegResult::MoreData, RegType::Binary, stored);
  std::memcpy(buffer, v->bytes.constData(), size_t(stored));
  return Done(RegResult::Success, RegType::Binary, stored);
}

long RegistryEx::SetDWORD(const QString& name, uint32_t value) {
  if (!m_open) return Done(RegResult::InvalidHandle);
  if (!Tree().Set(m_key, name, SettingsValue::FromDword(value))) return Done(RegResult::AccessDenied);
  return Done(RegResult::Success, RegType::Dword, 4);
}

long RegistryEx::SetString(const QString& name, const QString& text) {
  if (!m_open) return Done(RegResult::InvalidHandle);
  if (!Tree().Set(m_key, name, SettingsValue::FromString(text))) return Done(RegResult::AccessDenied);
  return Done(RegResult::Success, RegType::String, int(text.size() + 1) * 2);
}

long RegistryEx::SetBinary(const QString& name, const void* data, int size) {
  if (!m_open) return Done(RegResult::InvalidHandle);
  if ((!data && size > 0) || size < 0) return Done(RegResult::InvalidParameter);
  const QByteArray bytes(static_cast<const char*>(data), size);
  if (!Tree().Set(m_key, name, SettingsValue::FromBytes(bytes))) return Done(RegResult::AccessDenied);
  return Done(RegResult::Success, RegType::Binary, size);
}

long RegistryEx::DeleteValue(const QString& name) {
  if (!m_open) return Done(RegResult::InvalidHandle);
  return Done(Tree().DeleteValue(m_key, name) ? RegResult::Success : RegResult::FileNotFound);
}

// ---------------------------------------------------------------------------------------------

CRegistryBase::CRegistryBase(RegRoot root, const QString& productKey)
    : m_root(root), m_companyKey(QLatin1String(kCompanyKey)), m_productKey(productKey) {}

QString CRegistryBase::ProductKeyForType(int productType, const QString& current) {
  switch (productType) {
    case 0: return QStringLiteral("Helvora");
    case 1: return QStringLiteral("Pallidor");
    case 2: return QStringLiteral("Quintera");
    case 201: return QStringLiteral("Sorvella");
    case 202: return QStringLiteral("Orbenta");
    case 203: return QStringLiteral("Vestrel");
    default: return current;
  }
}

QString CRegistryBase::ProgramDir() const {
  return m_programDir.isEmpty() ? hv::paths::ProgramDir() : m_programDir;
}

QString CRegistryBase::KeyPath(const QString& subKey) const {
  QString path = m_companyKey;
  if (!m_productKey.isEmpty()) path += u'\\' + m_productKey;
  if (!subKey.isEmpty()) path += u'\\' + subKey;
  return path;
}

bool CRegistryBase::ReadDWORD(const QString& subKey, const QString& name, uint32_t& out, uint32_t def) {
  out = def;
  if (name.isEmpty()) return false;
  RegistryEx key;
  if (key.Open(m_root, KeyPath(subKey)) != RegResult::Success) return false;
  uint32_t v = 0;
  if (key.QueryDWORD(name, v) != RegResult::Success) return false;
  out = v;
  return true;
}

bool CRegistryBase::ReadInt(const QString& subKey, const QString& name, int& out, int def) {
  uint32_t v = 0;
  const bool ok = ReadDWORD(subKey, name, v, uint32_t(def));
  out = int(v);
  return ok;
}

bool CRegistryBase::ReadString(const QString& subKey, const QString& name, QString& out, const QString& def) {
  out = def;
  if (name.isEmpty()) return false;
  RegistryEx key;
  if (key.Open(m_root, KeyPath(subKey)) != RegResult::Success) return false;
  QString v;
  if (key.QueryString(name, v, kStringBytes) != RegResult::Success) return false;
  out = v;
  return true;
}

bool CRegistryBase::ReadBinary(const QString& subKey, const QString& name, void* buffer, int size) {
  if (name.isEmpty() || !buffer || size <= 0) return false;
  RegistryEx key;
  if (key.Open(m_root, KeyPath(subKey)) != RegResult::Success) return false;
  // Read into a scratch copy so that a short block never half-overwrites the caller's record.
  QByteArray scratch(size, '\0');
  if (key.QueryBinary(name, scratch.data(), size) != RegResult::Success || key.LastSize() != size) return false;
  std::memcpy(buffer, scratch.constData(), size_t(size));
  return true;
}

bool CRegistryBase::WriteDWORD(const QString& subKey, const QString& name, uint32_t value) {
  if (name.isEmpty()) return false;
  RegistryEx key;
  return key.Create(m_root, KeyPath(subKey)) == RegResult::Success && key.SetDWORD(name, value) == RegResult::Success;
}

bool CRegistryBase::WriteString(const QString& subKey, const QString& name, const QString& text) {
  if (name.isEmpty()) return false;
  RegistryEx key;
  return key.Create(m_root, KeyPath(subKey)) == RegResult::Success && key.SetString(name, text) == RegResult::Success;
}

bool CRegistryBase::WriteBinary(const QString& subKey, const QString& name, const void* data, int size) {
  if (name.isEmpty()) return false;
  RegistryEx key;
  return key.Create(m_root, KeyPath(subKey)) == RegResult::Success &&
         key.SetBinary(name, data, size) == RegResult::Success;
}
