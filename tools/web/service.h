// SPDX-License-Identifier: MIT
// The web service: civetweb serving the JSON API, the WebSocket of pushed state and
// hold-to-run jogs, the page's files and the metrics, over the served lines.
#pragma once

#include "served_line.h"
#include "tokens.h"

#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

struct mg_connection;
struct mg_context;

namespace corvexweb {

struct ServiceOptions {
    std::vector<LineSettings> lines;
    std::string listen = "127.0.0.1:8080";
    std::string www;          // the page's folder
    std::string chartJs;      // Debian's Chart.js
    std::string openapi;      // the API's description
    int threads = 64;         // civetweb's workers: one per WebSocket client, and the requests
    bool trustProxy = false;  // the client's address from X-Real-IP when a loopback peer sends it
    std::vector<std::string> allowOrigins;  // WebSocket origins besides the service's own
};

// Failed sign-ins per client address: each failure doubles the time that address waits
// before its next attempt is even looked at (0.5 s, 1 s, ... up to 30 s).
class SignInThrottle {
public:
    // Seconds the address must still wait, or 0.
    double wait(const std::string &address);
    void failed(const std::string &address);
    void succeeded(const std::string &address);

private:
    struct Record {
        int failures = 0;
        std::chrono::steady_clock::time_point until;
    };
    std::mutex mutex_;
    std::map<std::string, Record> records_;
};

class Service {
public:
    Service(ServiceOptions options, TokenStore tokens);
    ~Service();
    Service(const Service &) = delete;
    Service &operator=(const Service &) = delete;

    // Opens the lines and starts listening; throws std::runtime_error when it cannot.
    void start();
    // The port listened on.
    int port() const;
    void stop();

    // civetweb's callbacks.
    int handleRequest(mg_connection *conn);
    int wsConnect(const mg_connection *conn);
    void wsReady(mg_connection *conn);
    int wsData(mg_connection *conn, int bits, char *data, std::size_t length);
    void wsClose(const mg_connection *conn);

    void log(const std::string &text);

private:
    struct Client;
    struct Request;

    ServedLine *findLine(const std::string &name) const;
    std::string clientAddress(const mg_connection *conn) const;
    std::optional<Identity> authenticate(mg_connection *conn, Request &request);
    int handleApi(mg_connection *conn, Request &request);
    int handleLine(mg_connection *conn, Request &request, ServedLine &line,
                   const std::vector<std::string> &path);
    int handleMotor(mg_connection *conn, Request &request, ServedLine &line, int address,
                    const std::string &action);
    int serveFile(mg_connection *conn, const std::string &uri);
    int metrics(mg_connection *conn);
    nlohmann::json linesJson() const;

    // WebSocket side.
    nlohmann::json wsCommand(Client &client, const nlohmann::json &message);
    void subscribe(Client &client, const nlohmann::json &motors);
    void send(const std::shared_ptr<Client> &client, std::string text);
    void broadcastMotor(const ServedLine &line, int address, const MotorState &state);
    void broadcastLine(const ServedLine &line);
    void broadcastTrace(const ServedLine &line, const nlohmann::json &event);
    void senderMain();
    bool originAllowed(const mg_connection *conn) const;

    const ServiceOptions options_;
    const TokenStore tokens_;
    SignInThrottle throttle_;
    std::vector<std::unique_ptr<ServedLine>> lines_;
    mg_context *context_ = nullptr;
    std::mutex logMutex_;
    std::atomic<std::uint64_t> signInFailures_{0};

    mutable std::mutex clientsMutex_;  // clients_ and each client's subscriptions
    std::map<const mg_connection *, std::shared_ptr<Client>> clients_;
    std::uint64_t nextClientId_ = 1;

    std::mutex outMutex_;  // the queue of pushed messages
    std::condition_variable outWake_;
    std::deque<std::pair<std::shared_ptr<Client>, std::string>> out_;
    bool outStopping_ = false;
    std::thread sender_;
};

}  // namespace corvexweb
