// Runs stub_server.py on 127.0.0.1 for the length of a test.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

#include "test_home.h"

class StubServer {
public:
    enum class Tls { None, TrustedCa, SelfSigned };

    // routesJson: the routes object described in stub_server.py.
    explicit StubServer(const std::string& routesJson, Tls tls = Tls::None);
    ~StubServer();
    StubServer(const StubServer&) = delete;
    StubServer& operator=(const StubServer&) = delete;

    int port() const { return port_; }
    // "http(s)://127.0.0.1:<port>"
    std::string base() const;
    std::string url(const std::string& path) const { return base() + path; }
    // The CA file that signs the server's certificate (TrustedCa only).
    std::string caFile() const { return dir_.path() + "/ca.pem"; }

    void setRoutes(const std::string& routesJson);
    // One JSON object per request received so far, in order.
    std::vector<std::string> requests() const;

private:
    TempDir dir_;
    Tls tls_;
    pid_t pid_ = -1;
    int port_ = 0;
};

// A port on 127.0.0.1 on which nothing listens.
int UnusedLocalPort();
