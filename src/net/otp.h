#pragma once
// One-time passwords (RFC 2289, "S/KEY"): the answer to an "otp-md4",
// "otp-md5" or "otp-sha1" challenge that an FTP server puts into its reply
// to USER. The pass phrase never goes on the wire, only the password of the
// sequence number the server asks for.

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

enum class OtpAlgorithm { Md4, Md5, Sha1 };

// A challenge as RFC 2289 section 6 writes it: "otp-<algorithm> <sequence>
// <seed>".
struct OtpChallenge {
    OtpAlgorithm algorithm = OtpAlgorithm::Md5;
    int sequence = 0;
    QByteArray seed;  // lower case, 1 to 16 letters a-z and digits
};

// Sequence numbers above this are not answered: every step of the count is
// one hash, and a server must not be able to keep the client busy for long.
constexpr int kOtpMaxSequence = 1000000;

// Finds a challenge in a reply text. Nothing when the text holds no method
// word, or when the sequence number or the seed after it are malformed.
std::optional<OtpChallenge> FindOtpChallenge(QByteArrayView replyText);

// The 64-bit one-time password: the seed (lower-cased) followed by the pass
// phrase, hashed and folded to 64 bits, then hashed and folded `sequence`
// more times. The result is the 8 bytes in the order RFC 2289's examples
// print them.
QByteArray OtpCompute(OtpAlgorithm algorithm, QByteArrayView passPhrase, QByteArrayView seed, int sequence);

// The six-word form of an 8-byte one-time password (RFC 2289 appendix D):
// the 64 bits and a 2-bit checksum, 11 bits a word from the standard
// dictionary, separated by single spaces.
QByteArray OtpSixWords(QByteArrayView password);

// Word `index` (0..2047) of the standard dictionary.
QByteArray OtpWord(int index);

// The six-word answer to `challenge` for a pass phrase.
QByteArray OtpAnswer(const OtpChallenge& challenge, QByteArrayView passPhrase);
