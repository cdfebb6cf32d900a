#pragma once
// What a client learns of its peer when it evaluates trust itself: the certificates the peer
// sent and the verdict of the default checks, for the owner's decision.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class StreamSocketTrust {
public:
    StreamSocketTrust(std::vector<std::vector<std::uint8_t>> certificateChain, bool defaultVerdict,
                      std::string failureReason)
        : certificateChain_(std::move(certificateChain)), defaultVerdict_(defaultVerdict),
          failureReason_(std::move(failureReason)) {}

    // DER certificates as the peer sent them, its own first.
    const std::vector<std::vector<std::uint8_t>>& certificateChain() const { return certificateChain_; }
    // Whether the chain leads to a root the system trusts and, with a peer name set, names that
    // host; on false, why not.
    bool evaluate(std::string* failureReason = nullptr) const {
        if (!defaultVerdict_ && failureReason)
            *failureReason = failureReason_;
        return defaultVerdict_;
    }

private:
    std::vector<std::vector<std::uint8_t>> certificateChain_;
    bool defaultVerdict_;
    std::string failureReason_;
};
