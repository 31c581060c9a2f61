list(APPEND HV_COMMON_SOURCES IniFile.cpp SettingsTree.cpp RegistryEx.cpp)
