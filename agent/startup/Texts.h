#pragma once

#include <QString>

// Text of an IDS_ key in the active language. An empty lookup falls back to the key itself, so
// a missing text is visible and never a blank control.
QString Txt(const char* key);
