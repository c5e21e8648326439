// SPDX-License-Identifier: MIT
#include "line_registry.h"

#include <atomic>
#include <mutex>
#include <unordered_map>

namespace corvex::link {

namespace {

struct Registry {
    std::mutex mutex;
    std::shared_ptr<Line> defaultLine;
    std::unordered_map<std::uint64_t, std::shared_ptr<Line>> lines;
    std::uint64_t nextId = kDefaultLineId + 1;
};

std::atomic<bool> g_made{false};

// Never destroyed: the close at unload and threads that outlive main() still find it.
Registry &registry() {
    static auto *r = [] {
        auto *made = new Registry;
        g_made.store(true, std::memory_order_release);
        return made;
    }();
    return *r;
}

}  // namespace

std::shared_ptr<Line> defaultLine() {
    Registry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    if (!r.defaultLine) r.defaultLine = std::make_shared<Line>();
    return r.defaultLine;
}

Line &theLine() {
    // The default line is never freed once made (replaceDefaultLine keeps the old one alive
    // for its holders), so a reference to it stays valid for the caller's statement.
    return *defaultLine();
}

std::shared_ptr<Line> existingDefaultLine() {
    Registry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    return r.defaultLine;
}

std::shared_ptr<Line> findLine(std::uint64_t id) {
    if (id == kDefaultLineId) return defaultLine();
    Registry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    const auto it = r.lines.find(id);
    return it == r.lines.end() ? nullptr : it->second;
}

std::uint64_t newLineId() {
    Registry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    return r.nextId++;
}

void addLine(std::shared_ptr<Line> line) {
    Registry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    const std::uint64_t id = line->id;
    r.lines.emplace(id, std::move(line));
}

std::shared_ptr<Line> removeLine(std::uint64_t id) {
    if (id == kDefaultLineId) return nullptr;
    Registry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    const auto it = r.lines.find(id);
    if (it == r.lines.end()) return nullptr;
    std::shared_ptr<Line> line = std::move(it->second);
    r.lines.erase(it);
    return line;
}

std::vector<std::shared_ptr<Line>> allLines() {
    if (!g_made.load(std::memory_order_acquire)) return {};  // nothing made: allocate nothing
    Registry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    std::vector<std::shared_ptr<Line>> all;
    if (!r.defaultLine && r.lines.empty()) return all;
    all.reserve(r.lines.size() + 1);
    if (r.defaultLine) all.push_back(r.defaultLine);
    for (const auto &entry : r.lines) all.push_back(entry.second);
    return all;
}

std::shared_ptr<Line> replaceDefaultLine(std::shared_ptr<Line> line) {
    Registry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    std::shared_ptr<Line> old = std::move(r.defaultLine);
    r.defaultLine = std::move(line);
    return old;
}

}  // namespace corvex::link
