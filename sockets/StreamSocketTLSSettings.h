#pragma once
// The settings of a TLS start: a dictionary from key to value. Keys are the names below;
// a key that is absent keeps the TLS engine's default.
//
// Values as OpenSSL takes them here:
// - kCFStreamSSLCertificates: an array of PEM data; the first private key found and the first
//   certificate found make the identity, later certificates its chain.
// - kCFStreamSSLPeerName: host name for SNI and for checking the peer's certificate.
// - StreamSocketSSLProtocolVersionMin/Max: a TLS wire version (StreamSocketTLSVersion below).
// - StreamSocketSSLCipherSuites: an array of IANA cipher-suite numbers.
// - StreamSocketSSLDiffieHellmanParameters: PEM or DER DH parameters.
// - StreamSocketSSLALPN: an array of protocol names.
// - StreamSocketSSLPeerID: client side, the key under which a session is kept for resumption.

#include <concepts>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

class StreamSocketTLSValue {
public:
    using Bytes = std::vector<std::uint8_t>;
    using Array = std::vector<StreamSocketTLSValue>;

    StreamSocketTLSValue(bool value) : value_(value) {}
    template <std::integral T>
    requires(!std::same_as<T, bool>) StreamSocketTLSValue(T value)
        : value_(static_cast<std::int64_t>(value)) {}
    StreamSocketTLSValue(const char* value) : value_(std::string(value)) {}
    StreamSocketTLSValue(std::string value) : value_(std::move(value)) {}
    StreamSocketTLSValue(Bytes value) : value_(std::move(value)) {}
    StreamSocketTLSValue(Array value) : value_(std::move(value)) {}

    // Booleans and numbers both answer as either (non-zero is true).
    std::optional<bool> boolValue() const;
    std::optional<std::int64_t> numberValue() const;
    const std::string* stringValue() const { return std::get_if<std::string>(&value_); }
    const Bytes* dataValue() const { return std::get_if<Bytes>(&value_); }
    const Array* arrayValue() const { return std::get_if<Array>(&value_); }

private:
    std::variant<bool, std::int64_t, std::string, Bytes, Array> value_;
};

using StreamSocketTLSSettings = std::map<std::string, StreamSocketTLSValue>;

inline constexpr const char* kCFStreamSSLIsServer = "kCFStreamSSLIsServer";
inline constexpr const char* kCFStreamSSLPeerName = "kCFStreamSSLPeerName";
inline constexpr const char* kCFStreamSSLCertificates = "kCFStreamSSLCertificates";
inline constexpr const char* kCFStreamSSLAllowsAnyRoot = "kCFStreamSSLAllowsAnyRoot";
inline constexpr const char* kCFStreamSSLAllowsExpiredRoots = "kCFStreamSSLAllowsExpiredRoots";
inline constexpr const char* kCFStreamSSLValidatesCertificateChain = "kCFStreamSSLValidatesCertificateChain";
inline constexpr const char* kCFStreamSSLAllowsExpiredCertificates = "kCFStreamSSLAllowsExpiredCertificates";
inline constexpr const char* kCFStreamSSLLevel = "kCFStreamSSLLevel";
inline constexpr const char* StreamSocketManuallyEvaluateTrust = "StreamSocketManuallyEvaluateTrust";
inline constexpr const char* StreamSocketSSLPeerID = "StreamSocketSSLPeerID";
inline constexpr const char* StreamSocketSSLProtocolVersionMin = "StreamSocketSSLProtocolVersionMin";
inline constexpr const char* StreamSocketSSLProtocolVersionMax = "StreamSocketSSLProtocolVersionMax";
inline constexpr const char* StreamSocketSSLSessionOptionFalseStart =
    "StreamSocketSSLSessionOptionFalseStart";
inline constexpr const char* StreamSocketSSLSessionOptionSendOneByteRecord =
    "StreamSocketSSLSessionOptionSendOneByteRecord";
inline constexpr const char* StreamSocketSSLCipherSuites = "StreamSocketSSLCipherSuites";
inline constexpr const char* StreamSocketSSLDiffieHellmanParameters =
    "StreamSocketSSLDiffieHellmanParameters";
inline constexpr const char* StreamSocketSSLALPN = "StreamSocketSSLALPN";

// Protocol versions for StreamSocketSSLProtocolVersionMin/Max (TLS wire numbers).
inline constexpr std::int64_t StreamSocketTLSVersion10 = 0x0301;
inline constexpr std::int64_t StreamSocketTLSVersion11 = 0x0302;
inline constexpr std::int64_t StreamSocketTLSVersion12 = 0x0303;
inline constexpr std::int64_t StreamSocketTLSVersion13 = 0x0304;
