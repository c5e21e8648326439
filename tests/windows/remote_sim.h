// SPDX-License-Identifier: MIT
// A kx4417-sim running as a Linux process, reached from a Windows test under Wine: the
// test asks sim_control.py (through files in a shared folder) to start or stop it, opens
// its pty through the link the simulator keeps, and reads the frames the stations received
// from the transcript file the simulator writes.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace wintest {

class RemoteSim {
public:
    // `name` keeps the files of parallel tests apart.
    explicit RemoteSim(std::string name) : name_(std::move(name)) {
        const char *folder = std::getenv("CORVEXLINK_SIM_CONTROL");
        unixFolder_ = folder != nullptr ? folder : "";
    }
    ~RemoteSim() {
        if (started_) stop();
    }

    // False with a reason in error() when no controller serves the folder.
    bool start(const std::string &stations = "0-3") {
        if (unixFolder_.empty()) {
            error_ = "CORVEXLINK_SIM_CONTROL names no folder (ctest sets it)";
            return false;
        }
        started_ = request("start " + name_ + " " + stations);
        consumed_ = 0;
        return started_;
    }
    // Ends the simulator: for the library the line goes away.
    bool stop() {
        started_ = false;
        return request("stop " + name_);
    }

    // Has Debian's ser2net serve the simulator's pty on loopback; its RFC 2217 and raw TCP
    // ports are given back. False with a reason in error().
    bool serve(int &rfc2217Port, int &tcpPort) {
        if (!request("serve " + name_)) return false;
        std::ifstream in(windowsPath(unixFolder_ + "/" + name_ + ".ports"));
        if (!(in >> rfc2217Port >> tcpPort)) {
            error_ = "no ports from sim_control.py";
            return false;
        }
        return true;
    }

    const std::string &error() const { return error_; }

    // The pty's link as a Windows path (the Unix root is drive Z:).
    std::string portPath() const { return windowsPath(unixFolder_ + "/" + name_ + ".link"); }

    // Frames received since the last clearTranscript(), CR included.
    std::vector<std::string> frames() const {
        std::vector<std::string> all = allFrames();
        return std::vector<std::string>(
            all.begin() + static_cast<long>(std::min(consumed_, all.size())), all.end());
    }
    // Forgets the frames so far. The simulator writes its transcript in steps of up to
    // 100 ms, so frames still on their way are waited for: the line must be quiet first.
    void clearTranscript() {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        consumed_ = allFrames().size();
    }
    bool waitForFrames(std::size_t count, std::chrono::milliseconds timeout) const {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (frames().size() < count) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

private:
    static std::string windowsPath(std::string unixPath) {
        for (char &c : unixPath) c = c == '/' ? '\\' : c;
        return "Z:" + unixPath;
    }

    // Transcript lines are "<seconds> <bytes>" with CR, LF and other controls escaped.
    std::vector<std::string> allFrames() const {
        std::ifstream in(windowsPath(unixFolder_ + "/" + name_ + ".transcript"));
        std::vector<std::string> out;
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            double seconds = 0;
            if (!(fields >> seconds) || fields.get() != ' ') continue;  // the banner line
            std::string text;
            std::getline(fields, text);
            out.push_back(unescape(text));
        }
        return out;
    }

    static std::string unescape(const std::string &text) {
        std::string out;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] != '\\' || i + 1 >= text.size()) {
                out += text[i];
            } else if (text[i + 1] == 'r') {
                out += '\r', ++i;
            } else if (text[i + 1] == 'n') {
                out += '\n', ++i;
            } else if (text[i + 1] == 'x' && i + 3 < text.size()) {
                out += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
                i += 3;
            } else {
                out += text[i];
            }
        }
        return out;
    }

    bool request(const std::string &line) {
        const std::string token = name_ + "-" + std::to_string(++requests_);
        const std::string base = windowsPath(unixFolder_ + "/" + token);
        {
            std::ofstream out(base + ".tmp");
            out << line << "\n";
        }
        if (!::MoveFileExA((base + ".tmp").c_str(), (base + ".req").c_str(),
                           MOVEFILE_REPLACE_EXISTING)) {
            error_ = "cannot place the request in " + unixFolder_;
            return false;
        }
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (;;) {
            std::ifstream in(base + ".ans");
            std::string answer;
            if (in && std::getline(in, answer)) {
                in.close();
                ::DeleteFileA((base + ".ans").c_str());
                if (answer == "ok") return true;
                error_ = answer;
                return false;
            }
            if (std::chrono::steady_clock::now() > end) {
                error_ = "no answer from sim_control.py in " + unixFolder_ + " (is it running?)";
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    std::string name_;
    std::string unixFolder_;
    std::string error_;
    bool started_ = false;
    std::size_t consumed_ = 0;
    int requests_ = 0;
};

}  // namespace wintest
