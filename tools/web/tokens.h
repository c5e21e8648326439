// SPDX-License-Identifier: MIT
// Access tokens: a file readable by the service alone, one token a line, each with a name
// and a role, kept as a salted SHA-256 hash (OpenSSL's libcrypto), never as the token.
#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace corvexweb {

enum class Role { Viewer, Operator };

const char *roleName(Role role);
std::optional<Role> roleFromName(const std::string &name);

struct Identity {
    std::string name;
    Role role = Role::Viewer;
    std::size_t index = 0;  // the entry's place in the file
};

class TokenError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TokenStore {
public:
    // Reads the file; refuses (TokenError, saying why) a file that others may read or
    // that belongs to another user than the one the service runs as, and a malformed line.
    static TokenStore load(const std::string &path);
    // Adds a token to the file, creating it (mode 0600) when it does not exist, and
    // returns the new token, which is shown once and kept nowhere.
    static std::string add(const std::string &path, const std::string &name, Role role);

    // The identity of a token, or nothing; compares every entry in constant time.
    std::optional<Identity> verify(const std::string &token) const;
    std::size_t size() const { return entries_.size(); }

private:
    struct Entry {
        std::string name;
        Role role;
        std::string salt;  // raw bytes
        std::string hash;  // raw bytes of SHA-256(salt + token)
    };
    std::vector<Entry> entries_;
};

// A name for a token: letters, digits and "._@-", 1 to 64 characters.
bool validTokenName(const std::string &name);

}  // namespace corvexweb
