// MD5 message digests (RFC 1321) of byte buffers, and their lower-case hexadecimal text.
//
// The incremental interface is the RFC's own (Md5Init, Md5Update, Md5Final over an Md5Context, and
// Md5Transform for one block); the one-call functions digest a whole buffer and render the digest
// as 32 hexadecimal characters, each digest byte as "%02x" would print it.
//
// MD5 is broken as a cryptographic hash: use it for checksums and identifiers, never for security.
//
// Thread-safety: a context belongs to one thread at a time; the one-call functions keep no state.
// Failure: none; Md5HexString may throw std::bad_alloc.
#pragma once

#include <cstdint>
#include <string>

namespace Quorvin {

/// The running state of one digest, laid out as RFC 1321's context.
struct Md5Context {
    /// Chaining values A, B, C, D.
    uint32_t state[4];
    /// Message length in bits modulo 2^64: low word, then high word.
    uint32_t count[2];
    /// Input not yet transformed: (count[0] / 8) mod 64 bytes are pending.
    unsigned char buffer[64];
};

/// Starts a digest: the RFC's initial chaining values and a zero count. `buffer` is not touched.
void Md5Init(Md5Context& context);

/// Feeds `length` bytes at `data` (which may be null when `length` is 0).
void Md5Update(Md5Context& context, const void* data, uint32_t length);

/// Pads the message, writes its 16-byte digest (A, B, C, D, each least significant byte first) and
/// then sets the whole context to zero; digest again only after Md5Init.
void Md5Final(unsigned char digest[16], Md5Context& context);

/// Compresses one 64-byte block into the four chaining values.
void Md5Transform(uint32_t state[4], const unsigned char block[64]);

/// The digest of `length` bytes at `data` as 32 lower-case hexadecimal characters. Any length is
/// digested whole, 4 GiB and more included.
std::string Md5HexString(const void* data, uint64_t length);

/// Writes the digest of `length` bytes at `data` as 32 lower-case hexadecimal characters and a NUL
/// into `text`, which holds at least 33 characters.
void Md5Hex(const void* data, uint32_t length, char* text);

/// Writes the text form of `digest`, 32 characters and a NUL, into `text` (at least 33 characters).
void DigestToHex(const unsigned char digest[16], char* text);

/// The text form of `digest`: 32 lower-case hexadecimal characters.
std::string DigestToHexString(const unsigned char digest[16]);

}  // namespace Quorvin
