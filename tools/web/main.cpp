// SPDX-License-Identifier: MIT
// corvexlink-web: the lines of this machine in a browser and over HTTP. Parses the command
// line (or its configuration file), checks the token file, serves until SIGTERM or SIGINT.
// "corvexlink-web token add NAME ROLE --tokens FILE" adds an access token.
#include "options.h"
#include "service.h"
#include "tokens.h"

#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitFailure = 1;

const char *const kFooter =
    R"(Lines: NAME=DEVICE[,RATE], the device as the library opens it: COM3, /dev/ttyUSB0,
rfc2217://host:port or tcp://host:port; the rate 9600 unless given.
Tokens: "corvexlink-web token add NAME viewer|operator --tokens FILE" creates the file
(mode 0600) if needed and prints the new token once. Clients send it on every request
as "Authorization: Bearer TOKEN". The service refuses a token file that others may read.
Configuration file: the long options as "name = value" lines (line = ["a=/dev/ttyUSB0"]).

Examples:
  corvexlink-web token add alice operator --tokens /etc/corvexlink/web-tokens
  corvexlink-web --line bench=/dev/ttyUSB0,9600 --tokens /etc/corvexlink/web-tokens
  corvexlink-web --config /etc/corvexlink/web.conf)";

// The page's folder and the API description: the source tree's for the program run from the
// folder it was built in (nothing need be installed to try it), else the installed ones.
void defaultFiles(corvexweb::ServiceOptions &options) {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    const bool fromBuild =
        !error && std::filesystem::equivalent(self.parent_path(), CORVEXLINK_WEB_BUILD_DIR, error);
    const std::string source = CORVEXLINK_WEB_SOURCE_DIR;
    options.www = fromBuild ? source + "/www" : std::string(CORVEXLINK_WEB_WWW);
    options.openapi =
        fromBuild ? source + "/openapi.json" : std::string(CORVEXLINK_WEB_WWW) + "/openapi.json";
}

}  // namespace

int main(int argc, char **argv) {
    using namespace corvexweb;
    CLI::App app{"Serve CorvexLink lines to browsers and HTTP clients: a JSON API, pushed state "
                 "over a WebSocket, and a page.",
                 "corvexlink-web"};
    app.set_version_flag("--version", std::string("corvexlink-web ") + CORVEXLINK_WEB_VERSION);
    app.footer(kFooter);
    app.set_config("--config", "", "read options from FILE (TOML/INI: name = value)");

    std::vector<std::string> lineSpecs;
    std::string listen = "127.0.0.1:8080";
    std::string tokensPath;
    double budget = 0.5;
    double reconnectEvery = 2.0;
    bool allowRemote = false;
    ServiceOptions options;
    defaultFiles(options);
    options.chartJs = CORVEXLINK_WEB_CHART_JS;
    app.add_option("--line", lineSpecs, "a line to serve: NAME=DEVICE[,RATE] (repeatable)")
        ->type_name("NAME=DEVICE[,RATE]");
    app.add_option("--listen", listen, "address and port to listen on (default 127.0.0.1:8080)")
        ->type_name("HOST:PORT");
    app.add_option("--tokens", tokensPath, "the access token file")->type_name("FILE");
    app.add_flag("--allow-remote", allowRemote,
                 "listen beyond loopback (tokens then travel in clear unless a proxy encrypts "
                 "them)");
    app.add_option("--poll-budget", budget,
                   "share of each line's time the polling may take (default 0.5)")
        ->check(CLI::Range(0.01, 1.0));
    app.add_option("--reconnect", reconnectEvery,
                   "seconds between attempts to open a lost line again, 0 for never "
                   "(default 2)")
        ->type_name("SECONDS")
        ->check(CLI::Range(0.0, 3600.0));
    app.add_flag("--trust-proxy", options.trustProxy,
                 "take the client's address from X-Real-IP when a loopback peer (the proxy) "
                 "sends it");
    app.add_option("--allow-origin", options.allowOrigins,
                   "a further origin whose pages may open the WebSocket (repeatable)")
        ->type_name("ORIGIN");
    app.add_option("--threads", options.threads,
                   "worker threads: one per WebSocket client and the requests (default 64)")
        ->check(CLI::Range(4, 1024));
    app.add_option("--www", options.www,
                   "the page's folder (default: the installed one; the source tree's when run from "
                   "the build folder)")
        ->type_name("DIR");
    app.add_option("--chart-js", options.chartJs, "Chart.js (Debian's libjs-chart.js)")
        ->type_name("FILE");
    app.add_option("--openapi", options.openapi, "the API description served")->type_name("FILE");

    auto *token = app.add_subcommand("token", "manage access tokens");
    auto *add = token->add_subcommand("add", "add a token and print it once");
    std::string tokenName, tokenRole, tokenFile;
    add->add_option("NAME", tokenName, "who the token is for (letters, digits, ._@-)")->required();
    add->add_option("ROLE", tokenRole, "viewer (read, subscribe, stop) or operator (everything)")
        ->required()
        ->check(CLI::IsMember({"viewer", "operator"}));
    add->add_option("--tokens", tokenFile, "the token file")->required()->type_name("FILE");
    token->require_subcommand(1);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : kExitUsage;
    }

    if (*add) {
        try {
            const std::string secret =
                TokenStore::add(tokenFile, tokenName, *roleFromName(tokenRole));
            std::printf("%s\n", secret.c_str());
            std::fprintf(stderr,
                         "corvexlink-web: token '%s' (%s) added to %s; it is shown only this "
                         "once\n",
                         tokenName.c_str(), tokenRole.c_str(), tokenFile.c_str());
            return 0;
        } catch (const TokenError &e) {
            std::fprintf(stderr, "corvexlink-web: %s\n", e.what());
            return kExitFailure;
        }
    }

    if (tokensPath.empty()) {
        std::fprintf(stderr, "corvexlink-web: --tokens FILE is required (see --help)\n");
        return kExitUsage;
    }
    if (lineSpecs.empty()) {
        std::fprintf(stderr, "corvexlink-web: name at least one --line NAME=DEVICE[,RATE]\n");
        return kExitUsage;
    }
    try {
        for (const std::string &spec : lineSpecs) {
            LineSettings line = parseLineSpec(spec);
            line.pollBudget = budget;
            line.reconnectEvery = reconnectEvery;
            for (const LineSettings &other : options.lines)
                if (other.name == line.name)
                    throw std::invalid_argument("two lines are named " + line.name);
            options.lines.push_back(line);
        }
        const ListenAddress address = parseListen(listen);
        if (!address.loopback && !allowRemote)
            throw std::invalid_argument(
                "--listen " + listen +
                " is beyond loopback: tokens would travel in clear unless a proxy in front "
                "encrypts them; add --allow-remote to listen there anyway");
        if (!address.loopback)
            std::fprintf(stderr,
                         "corvexlink-web: warning: listening on %s, beyond loopback: tokens and "
                         "commands travel in clear unless a proxy in front encrypts them\n",
                         listen.c_str());
        options.listen = address.civetweb();
    } catch (const std::invalid_argument &e) {
        std::fprintf(stderr, "corvexlink-web: %s\n", e.what());
        return kExitUsage;
    }

    TokenStore tokens;
    try {
        tokens = TokenStore::load(tokensPath);
    } catch (const TokenError &e) {
        std::fprintf(stderr, "corvexlink-web: refusing to start: %s\n", e.what());
        return kExitFailure;
    }
    if (tokens.size() == 0)
        std::fprintf(stderr, "corvexlink-web: warning: %s holds no token: nobody can sign in\n",
                     tokensPath.c_str());

    // The signals are taken by this thread alone, after everything else has started.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    Service service(options, std::move(tokens));
    try {
        service.start();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "corvexlink-web: %s\n", e.what());
        return kExitFailure;
    }
    service.log("listening on http://" + options.listen.substr(0, options.listen.rfind(':')) + ":" +
                std::to_string(service.port()));
    int received = 0;
    sigwait(&signals, &received);
    service.log(std::string("stopping (") + (received == SIGINT ? "SIGINT" : "SIGTERM") + ")");
    service.stop();
    return 0;
}
