#pragma once
// The line server's tokens: 32 random bytes written as 64 lower-case
// hexadecimal digits. The database keeps only a token's SHA-256, so that
// what it holds lets nobody in.

#include <string>

namespace ostrel::line {

// A new token; empty when the system gives no random bytes.
std::string newToken();
// The SHA-256 of the token's text, as the database keeps it.
std::string tokenHash(const std::string& token);
// Whether `text` looks like a token (64 lower-case hexadecimal digits).
bool tokenShaped(const std::string& text);

}  // namespace ostrel::line
