// SPDX-License-Identifier: MIT
// Every export is also exported under its name with a leading underscore (PortOpen as
// _PortOpen), so callers that look symbols up by the documented decorated names find them.
#pragma once

// The alias of `name`; must stand in the file that defines `name`.
#define CORVEXLINK_ALIAS(name) extern "C" CORVEXLINK_ALIAS_OF(#name) decltype(name) _##name;

// The attributes that make a definition an exported alias of `target` (a string).
#if defined(_WIN32)
#    define CORVEXLINK_ALIAS_OF(target) __attribute__((alias(target))) __declspec(dllexport)
#else
#    define CORVEXLINK_ALIAS_OF(target) __attribute__((alias(target), visibility("default")))
#endif
