# The cipher and the tag reader: pure code over text, shared by the console and the report tool.
list(APPEND HV_COMMON_SOURCES Cipher.cpp TagReader.cpp)
