#pragma once

#include "common/ServerRecord.h"

// The server, proxy and transport choices that the web client carries and the settings store
// loads and saves. The web client owns one of these; the settings store only reads and writes it,
// so neither library needs the other.
struct WebSettings {
  ServerRecord authServer;    // authentication server; host, port, saved ID and password
  ServerRecord obAuthServer;  // the remote-access product's login record
  ServerRecord proxy;         // proxy host, port, user, password
  int proxyType = 2;          // bit 0x1 use the proxy record, bit 0x4 discover the proxy
  int commType = 4;           // bit 0x4 or 0x1: HTTPS, else HTTP
  WebSettings() { authServer.port = 80; }
};
