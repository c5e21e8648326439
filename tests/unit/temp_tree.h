// SPDX-License-Identifier: MIT
// A scratch folder for tests that build files, links and folders (a fake /sys or /dev, a
// config file), removed with everything in it when the test ends.
#pragma once

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace corvex::test {

class TempTree {
public:
    TempTree() {
        static std::atomic<int> counter{0};
        root_ = std::filesystem::temp_directory_path() /
                ("corvexlink-tree-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
    }
    ~TempTree() {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    TempTree(const TempTree &) = delete;
    TempTree &operator=(const TempTree &) = delete;

    std::string path(const std::string &relative = "") const {
        return relative.empty() ? root_.string() : (root_ / relative).string();
    }

    // Writes `text` to the file, making the folders above it.
    std::string file(const std::string &relative, const std::string &text) const {
        const auto p = root_ / relative;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << text;
        return p.string();
    }

    std::string dir(const std::string &relative) const {
        std::filesystem::create_directories(root_ / relative);
        return (root_ / relative).string();
    }

    // A symbolic link at `relative` holding `target` as given (relative targets stay relative).
    void link(const std::string &relative, const std::string &target) const {
        const auto p = root_ / relative;
        std::filesystem::create_directories(p.parent_path());
        std::filesystem::create_symlink(target, p);
    }

    std::string read(const std::string &relative) const {
        std::ifstream in(root_ / relative);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::filesystem::path root_;
};

}  // namespace corvex::test
