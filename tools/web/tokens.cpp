// SPDX-License-Identifier: MIT
// The token file: its permissions, its lines, the salted hashes.
#include "tokens.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>

namespace corvexweb {

namespace {

constexpr const char *kTokenPrefix = "cvxl_";
constexpr std::size_t kSecretBytes = 32;
constexpr std::size_t kSaltBytes = 16;
// The largest token file read: some thousands of tokens.
constexpr std::size_t kLargestFile = 1024 * 1024;

std::string hex(const std::string &bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::optional<std::string> unhex(const std::string &text) {
    if (text.size() % 2) return std::nullopt;
    std::string out;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        int value = 0;
        for (int k = 0; k < 2; ++k) {
            const char c = text[i + k];
            int digit = c >= '0' && c <= '9'   ? c - '0'
                        : c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                               : -1;
            if (digit < 0) return std::nullopt;
            value = value * 16 + digit;
        }
        out += static_cast<char>(value);
    }
    return out;
}

std::string randomBytes(std::size_t count) {
    std::string out(count, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char *>(out.data()), static_cast<int>(count)) != 1)
        throw TokenError("the system's random generator failed");
    return out;
}

std::string sha256(const std::string &salt, const std::string &token) {
    const std::string input = salt + token;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(input.data(), input.size(), digest, &length, EVP_sha256(), nullptr) != 1)
        throw TokenError("SHA-256 failed");
    return std::string(reinterpret_cast<char *>(digest), length);
}

// Refuses a file that anyone but the service's user may read or change.
void checkPrivate(int fd, const std::string &path) {
    struct stat info {};
    if (fstat(fd, &info) != 0)
        throw TokenError(path + ": cannot be examined (" + std::strerror(errno) + ")");
    if (!S_ISREG(info.st_mode)) throw TokenError(path + ": not a regular file");
    if (info.st_uid != geteuid())
        throw TokenError(path + ": belongs to user " + std::to_string(info.st_uid) +
                         ", not to the user the service runs as (" + std::to_string(geteuid()) +
                         "): others could read the tokens");
    if (info.st_mode & (S_IRWXG | S_IRWXO)) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
        throw TokenError(path + ": others may read or change it (mode " + mode +
                         "); make it readable by the service alone: chmod 600 " + path);
    }
}

std::string readAll(int fd, const std::string &path) {
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw TokenError(path + ": cannot be read (" + std::strerror(errno) + ")");
        if (got == 0) break;
        text.append(buffer, static_cast<std::size_t>(got));
        if (text.size() > kLargestFile) throw TokenError(path + ": larger than 1 MiB");
    }
    return text;
}

}  // namespace

const char *roleName(Role role) { return role == Role::Operator ? "operator" : "viewer"; }

std::optional<Role> roleFromName(const std::string &name) {
    if (name == "operator") return Role::Operator;
    if (name == "viewer") return Role::Viewer;
    return std::nullopt;
}

bool validTokenName(const std::string &name) {
    if (name.empty() || name.size() > 64) return false;
    for (char c : name)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '@' ||
              c == '-'))
            return false;
    return true;
}

TokenStore TokenStore::load(const std::string &path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw TokenError(path + ": cannot be opened (" + std::strerror(errno) + ")");
    std::string text;
    try {
        checkPrivate(fd, path);
        text = readAll(fd, path);
    } catch (...) {
        close(fd);
        throw;
    }
    close(fd);
    TokenStore store;
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string name, role, salt, hash, extra;
        fields >> name >> role >> salt >> hash;
        const auto r = roleFromName(role);
        const auto s = unhex(salt);
        const auto h = unhex(hash);
        if (!validTokenName(name) || !r || !s || s->size() != kSaltBytes || !h || h->size() != 32 ||
            (fields >> extra))
            throw TokenError(path + ":" + std::to_string(number) +
                             ": not a line of NAME ROLE SALT HASH");
        store.entries_.push_back({name, *r, *s, *h});
    }
    return store;
}

std::string TokenStore::add(const std::string &path, const std::string &name, Role role) {
    if (!validTokenName(name))
        throw TokenError("the name '" + name + "' is not 1 to 64 letters, digits or ._@-");
    int fd = open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    const bool created = fd >= 0;
    if (!created && errno == EEXIST) fd = open(path.c_str(), O_RDWR | O_APPEND | O_CLOEXEC);
    if (fd < 0) throw TokenError(path + ": cannot be opened (" + std::strerror(errno) + ")");
    try {
        if (created) fchmod(fd, 0600);  // whatever the umask
        checkPrivate(fd, path);
        const std::string existing = readAll(fd, path);
        TokenStore current = load(path);
        for (const Entry &entry : current.entries_)
            if (entry.name == name) throw TokenError("a token named '" + name + "' exists already");
        const std::string token = kTokenPrefix + hex(randomBytes(kSecretBytes));
        const std::string salt = randomBytes(kSaltBytes);
        std::string line;
        if (existing.empty())
            line += "# corvexlink-web access tokens: NAME ROLE SALT SHA-256(SALT TOKEN)\n";
        else if (existing.back() != '\n')
            line += "\n";
        line +=
            name + " " + roleName(role) + " " + hex(salt) + " " + hex(sha256(salt, token)) + "\n";
        if (write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size()) ||
            fsync(fd) != 0)
            throw TokenError(path + ": cannot be written (" + std::strerror(errno) + ")");
        close(fd);
        return token;
    } catch (...) {
        close(fd);
        throw;
    }
}

std::optional<Identity> TokenStore::verify(const std::string &token) const {
    std::optional<Identity> found;
    // Every entry is hashed and compared, whichever matches, in constant time.
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const std::string digest = sha256(entries_[i].salt, token);
        if (CRYPTO_memcmp(digest.data(), entries_[i].hash.data(), digest.size()) == 0 && !found)
            found = Identity{entries_[i].name, entries_[i].role, i};
    }
    return found;
}

}  // namespace corvexweb
