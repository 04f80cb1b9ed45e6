#include "stub_server.h"

#include <chrono>
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

StubServer::StubServer(const std::string& routesJson, Tls tls) : tls_(tls)
{
    setRoutes(routesJson);
    std::vector<std::string> args = {TIDEWELL_PYTHON, std::string(TIDEWELL_TEST_SUPPORT_DIR) + "/stub_server.py",
                                     "--routes", dir_.path() + "/routes.json", "--log", dir_.path() + "/requests.log",
                                     "--port-file", dir_.path() + "/port"};
    if (tls != Tls::None) {
        std::string make = std::string("/bin/sh ") + TIDEWELL_TEST_SUPPORT_DIR + "/make_certs.sh " + dir_.path();
        EXPECT_EQ(0, std::system(make.c_str()));
        std::string name = tls == Tls::TrustedCa ? "server" : "self";
        args.insert(args.end(), {"--cert", dir_.path() + "/" + name + ".pem", "--key", dir_.path() + "/" + name + ".key"});
    }
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t empty;
    sigemptyset(&empty);
    posix_spawnattr_setsigmask(&attr, &empty);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
    int rc = posix_spawn(&pid_, argv[0], nullptr, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        pid_ = -1;
        ADD_FAILURE() << "cannot start the stub server";
        return;
    }
    for (int i = 0; i < 200 && port_ == 0; ++i) {
        std::ifstream in(dir_.path() + "/port");
        if (!(in >> port_)) {
            port_ = 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
    }
    EXPECT_NE(0, port_) << "the stub server did not start";
}

StubServer::~StubServer()
{
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
}

std::string StubServer::base() const
{
    return std::string(tls_ == Tls::None ? "http" : "https") + "://127.0.0.1:" + std::to_string(port_);
}

void StubServer::setRoutes(const std::string& routesJson)
{
    std::string temp = dir_.path() + "/routes.json.tmp";
    {
        std::ofstream out(temp, std::ios::trunc);
        out << routesJson;
    }
    std::rename(temp.c_str(), (dir_.path() + "/routes.json").c_str());
}

std::vector<std::string> StubServer::requests() const
{
    std::vector<std::string> lines;
    std::ifstream in(dir_.path() + "/requests.log");
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

int UnusedLocalPort()
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}
