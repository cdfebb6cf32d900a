#include "sockets/StreamSocketTLS.h"

#include "sockets/StreamSocketTrust.h"

#include <arpa/inet.h>
#include <climits>
#include <cstring>
#include <map>
#include <mutex>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

struct StreamSocketTLSCallbacks {
    static StreamSocketTLS* owner(BIO* bio) { return static_cast<StreamSocketTLS*>(BIO_get_data(bio)); }

    static int bioWrite(BIO* bio, const char* data, int length) {
        BIO_clear_retry_flags(bio);
        StreamSocketTLS* tls = owner(bio);
        std::size_t moved = static_cast<std::size_t>(length);
        const std::int32_t status = tls->writeFunction_(reinterpret_cast<const std::uint8_t*>(data), &moved);
        if (moved > 0)
            return static_cast<int>(moved);
        if (status == StreamSocketTLSWouldBlock) {
            BIO_set_retry_write(bio);
            return -1;
        }
        tls->transferFailed_ = true;
        return -1;
    }

    static int bioRead(BIO* bio, char* data, int length) {
        BIO_clear_retry_flags(bio);
        StreamSocketTLS* tls = owner(bio);
        std::size_t moved = static_cast<std::size_t>(length);
        const std::int32_t status = tls->readFunction_(reinterpret_cast<std::uint8_t*>(data), &moved);
        if (moved > 0)
            return static_cast<int>(moved);
        if (status == StreamSocketTLSWouldBlock) {
            BIO_set_retry_read(bio);
            return -1;
        }
        tls->transferFailed_ = true;
        return 0;
    }

    static long bioCtrl(BIO*, int command, long, void*) { return command == BIO_CTRL_FLUSH ? 1 : 0; }

    static int bioCreate(BIO* bio) {
        BIO_set_init(bio, 1);
        return 1;
    }

    static const BIO_METHOD* bioMethod() {
        static BIO_METHOD* method = [] {
            BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "StreamSocket");
            BIO_meth_set_write(m, bioWrite);
            BIO_meth_set_read(m, bioRead);
            BIO_meth_set_ctrl(m, bioCtrl);
            BIO_meth_set_create(m, bioCreate);
            return m;
        }();
        return method;
    }

    static int verify(X509_STORE_CTX* store, void* arg) {
        return static_cast<StreamSocketTLS*>(arg)->verifyPeer(store);
    }

    static int selectALPN(SSL*, const unsigned char** out, unsigned char* outLength, const unsigned char* in,
                          unsigned int inLength, void* arg) {
        auto* tls = static_cast<StreamSocketTLS*>(arg);
        unsigned char* selected = nullptr;
        if (SSL_select_next_proto(&selected, outLength, tls->alpnWire_.data(),
                                  static_cast<unsigned int>(tls->alpnWire_.size()), in,
                                  inLength) != OPENSSL_NPN_NEGOTIATED)
            return SSL_TLSEXT_ERR_NOACK;
        *out = selected;
        return SSL_TLSEXT_ERR_OK;
    }

    // Client sessions kept by peer ID, so a later connection to the same peer can resume.
    static std::mutex& sessionsMutex() {
        static std::mutex mutex;
        return mutex;
    }
    static std::map<std::vector<std::uint8_t>, SSL_SESSION*>& sessions() {
        static auto* table = new std::map<std::vector<std::uint8_t>, SSL_SESSION*>();
        return *table;
    }
    static constexpr std::size_t maxSessions = 64;

    static int newSession(SSL* ssl, SSL_SESSION* session) {
        auto* tls = static_cast<StreamSocketTLS*>(SSL_get_app_data(ssl));
        if (!tls || tls->peerID_.empty())
            return 0;
        std::lock_guard lock(sessionsMutex());
        auto& table = sessions();
        if (auto it = table.find(tls->peerID_); it != table.end()) {
            SSL_SESSION_free(it->second);
            table.erase(it);
        } else if (table.size() >= maxSessions) {
            SSL_SESSION_free(table.begin()->second);
            table.erase(table.begin());
        }
        table.emplace(tls->peerID_, session);
        return 1; // the table keeps the reference
    }
};

std::unique_ptr<StreamSocketTLS> StreamSocketTLS::create(bool isServer) {
    std::unique_ptr<StreamSocketTLS> tls(new StreamSocketTLS());
    tls->isServer_ = isServer;
    tls->ctx_ = SSL_CTX_new(isServer ? TLS_server_method() : TLS_client_method());
    if (!tls->ctx_)
        return nullptr;
    if (!isServer) {
        SSL_CTX_set_default_verify_paths(tls->ctx_);
        SSL_CTX_set_verify(tls->ctx_, SSL_VERIFY_PEER, nullptr);
    }
    tls->ssl_ = SSL_new(tls->ctx_);
    if (!tls->ssl_)
        return nullptr;
    SSL_set_app_data(tls->ssl_, tls.get());
    // The socket hands a held chunk back from its own packet, which may sit elsewhere by then.
    SSL_set_mode(tls->ssl_, SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    if (isServer)
        SSL_set_accept_state(tls->ssl_);
    else
        SSL_set_connect_state(tls->ssl_);
    ERR_clear_error();
    return tls;
}

StreamSocketTLS::~StreamSocketTLS() {
    if (ssl_)
        SSL_free(ssl_);
    if (ctx_)
        SSL_CTX_free(ctx_);
    ERR_clear_error();
}

bool StreamSocketTLS::setIOFuncs(ReadFunction read, WriteFunction write) {
    BIO* bio = BIO_new(StreamSocketTLSCallbacks::bioMethod());
    if (!bio)
        return false;
    BIO_set_data(bio, this);
    readFunction_ = std::move(read);
    writeFunction_ = std::move(write);
    SSL_set_bio(ssl_, bio, bio);
    return true;
}

bool StreamSocketTLS::setBreakOnServerAuth(bool enabled) {
    if (isServer_)
        return false;
    if (enabled)
        SSL_CTX_set_cert_verify_callback(ctx_, StreamSocketTLSCallbacks::verify, this);
    return true;
}

bool StreamSocketTLS::setPeerDomainName(const std::string& name) {
    if (isServer_ || name.empty())
        return true;
    unsigned char address[sizeof(in6_addr)];
    if (inet_pton(AF_INET, name.c_str(), address) == 1 || inet_pton(AF_INET6, name.c_str(), address) == 1)
        return X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), name.c_str()) == 1;
    return SSL_set_tlsext_host_name(ssl_, name.c_str()) == 1 && SSL_set1_host(ssl_, name.c_str()) == 1;
}

bool StreamSocketTLS::setCertificates(const std::vector<std::vector<std::uint8_t>>& pemItems) {
    EVP_PKEY* key = nullptr;
    std::vector<X509*> certificates;
    auto release = [&] {
        EVP_PKEY_free(key);
        for (X509* certificate : certificates)
            X509_free(certificate);
    };
    for (const auto& item : pemItems) {
        if (item.empty() || item.size() > INT_MAX)
            continue;
        BIO* bio = BIO_new_mem_buf(item.data(), static_cast<int>(item.size()));
        while (X509* certificate = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr))
            certificates.push_back(certificate);
        BIO_free(bio);
        if (!key) {
            bio = BIO_new_mem_buf(item.data(), static_cast<int>(item.size()));
            key = PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr);
            BIO_free(bio);
        }
    }
    ERR_clear_error();
    bool ok = key && !certificates.empty() && SSL_use_certificate(ssl_, certificates[0]) == 1 &&
              SSL_use_PrivateKey(ssl_, key) == 1 && SSL_check_private_key(ssl_) == 1;
    for (std::size_t i = 1; ok && i < certificates.size(); ++i)
        ok = SSL_add1_chain_cert(ssl_, certificates[i]) == 1;
    release();
    ERR_clear_error();
    return ok;
}

bool StreamSocketTLS::setPeerID(const std::vector<std::uint8_t>& peerID) {
    if (isServer_ || peerID.empty())
        return true; // a server resumes by session id alone
    peerID_ = peerID;
    SSL_CTX_set_session_cache_mode(ctx_, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(ctx_, StreamSocketTLSCallbacks::newSession);
    std::lock_guard lock(StreamSocketTLSCallbacks::sessionsMutex());
    auto& table = StreamSocketTLSCallbacks::sessions();
    if (auto it = table.find(peerID_); it != table.end() && SSL_SESSION_is_resumable(it->second))
        return SSL_set_session(ssl_, it->second) == 1;
    return true;
}

namespace {
bool isTLSVersion(std::int64_t version) {
    return version >= TLS1_VERSION && version <= TLS1_3_VERSION;
}
} // namespace

bool StreamSocketTLS::setProtocolVersionMin(std::int64_t version) {
    return isTLSVersion(version) && SSL_set_min_proto_version(ssl_, static_cast<int>(version)) == 1;
}

bool StreamSocketTLS::setProtocolVersionMax(std::int64_t version) {
    return isTLSVersion(version) && SSL_set_max_proto_version(ssl_, static_cast<int>(version)) == 1;
}

// OpenSSL has no false start and splits CBC records its own way, so neither can be turned on.
bool StreamSocketTLS::setFalseStart(bool enabled) {
    return !enabled;
}
bool StreamSocketTLS::setSendOneByteRecord(bool enabled) {
    return !enabled;
}

bool StreamSocketTLS::setEnabledCiphers(const std::vector<std::uint16_t>& suites) {
    std::string tls12List, tls13List;
    for (std::uint16_t suite : suites) {
        const unsigned char bytes[2] = {static_cast<unsigned char>(suite >> 8),
                                        static_cast<unsigned char>(suite & 0xFF)};
        const SSL_CIPHER* cipher = SSL_CIPHER_find(ssl_, bytes);
        if (!cipher)
            return false;
        std::string& list =
            std::strcmp(SSL_CIPHER_get_version(cipher), "TLSv1.3") == 0 ? tls13List : tls12List;
        list += (list.empty() ? "" : ":") + std::string(SSL_CIPHER_get_name(cipher));
    }
    ERR_clear_error();
    if (SSL_set_ciphersuites(ssl_, tls13List.c_str()) != 1)
        return false;
    // Only TLS 1.3 suites chosen: no older protocol could use any of them.
    const bool ok = tls12List.empty() ? SSL_set_min_proto_version(ssl_, TLS1_3_VERSION) == 1
                                      : SSL_set_cipher_list(ssl_, tls12List.c_str()) == 1;
    ERR_clear_error();
    return ok;
}

bool StreamSocketTLS::setDiffieHellmanParams(const std::vector<std::uint8_t>& parameters) {
    if (parameters.empty() || parameters.size() > INT_MAX)
        return false;
    BIO* bio = BIO_new_mem_buf(parameters.data(), static_cast<int>(parameters.size()));
    EVP_PKEY* key = PEM_read_bio_Parameters(bio, nullptr);
    BIO_free(bio);
    if (!key) {
        const unsigned char* cursor = parameters.data();
        key = d2i_KeyParams(EVP_PKEY_DH, nullptr, &cursor, static_cast<long>(parameters.size()));
    }
    bool ok = key && EVP_PKEY_get_base_id(key) == EVP_PKEY_DH && SSL_set0_tmp_dh_pkey(ssl_, key) == 1;
    if (!ok)
        EVP_PKEY_free(key);
    ERR_clear_error();
    return ok;
}

bool StreamSocketTLS::setALPNProtocols(const std::vector<std::string>& protocols) {
    std::vector<std::uint8_t> wire;
    for (const std::string& protocol : protocols) {
        if (protocol.empty() || protocol.size() > 255)
            return false;
        wire.push_back(static_cast<std::uint8_t>(protocol.size()));
        wire.insert(wire.end(), protocol.begin(), protocol.end());
    }
    if (wire.empty())
        return false;
    if (isServer_) {
        alpnWire_ = std::move(wire);
        SSL_CTX_set_alpn_select_cb(ctx_, StreamSocketTLSCallbacks::selectALPN, this);
        return true;
    }
    return SSL_set_alpn_protos(ssl_, wire.data(), static_cast<unsigned int>(wire.size())) == 0;
}

int StreamSocketTLS::verifyPeer(X509_STORE_CTX* store) {
    // Called again when the handshake goes on after a pause: the owner has trusted the peer.
    if (pausedForTrust_)
        return 1;
    // First sight of the peer's certificates: keep them with the default verdict, and pause.
    const bool verdict = X509_verify_cert(store) == 1;
    const int error = X509_STORE_CTX_get_error(store);
    std::vector<std::vector<std::uint8_t>> chain;
    auto append = [&chain](X509* certificate) {
        unsigned char* der = nullptr;
        const int length = i2d_X509(certificate, &der);
        if (length > 0)
            chain.emplace_back(der, der + length);
        OPENSSL_free(der);
    };
    X509* leaf = X509_STORE_CTX_get0_cert(store);
    STACK_OF(X509)* sent = X509_STORE_CTX_get0_untrusted(store);
    if (leaf && (!sent || sk_X509_num(sent) == 0 || X509_cmp(sk_X509_value(sent, 0), leaf) != 0))
        append(leaf);
    for (int i = 0; sent && i < sk_X509_num(sent); ++i)
        append(sk_X509_value(sent, i));
    peerTrust_ = std::make_shared<StreamSocketTrust>(
        std::move(chain), verdict, verdict ? std::string() : X509_verify_cert_error_string(error));
    ERR_clear_error();
    auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    pausedForTrust_ = true;
    // OpenSSL pauses only when the callback reports success after asking for the retry.
    SSL_set_retry_verify(ssl);
    return 1;
}

std::int32_t StreamSocketTLS::statusFor(int result) {
    const int error = SSL_get_error(ssl_, result);
    std::int32_t status = StreamSocketTLSProtocolError;
    switch (error) {
    case SSL_ERROR_WANT_READ:
    case SSL_ERROR_WANT_WRITE:
        return StreamSocketTLSWouldBlock;
    case SSL_ERROR_WANT_RETRY_VERIFY:
        return StreamSocketTLSPeerAuthCompleted;
    case SSL_ERROR_ZERO_RETURN:
        return StreamSocketTLSClosedGracefully;
    default:
        break;
    }
    const unsigned long code = ERR_peek_last_error();
    if (transferFailed_) {
        status = StreamSocketTLSClosedAbort;
        lastErrorDescription_ = "Connection closed during TLS";
    } else if (!isServer_ && ERR_GET_LIB(code) == ERR_LIB_SSL &&
               ERR_GET_REASON(code) == SSL_R_CERTIFICATE_VERIFY_FAILED) {
        status = StreamSocketTLSCertificateChainInvalid;
        lastErrorDescription_ = X509_verify_cert_error_string(SSL_get_verify_result(ssl_));
    } else {
        if (ERR_GET_LIB(code) == ERR_LIB_SSL && ERR_GET_REASON(code) >= SSL_AD_REASON_OFFSET)
            status = StreamSocketTLSFatalAlert;
        char text[256] = "TLS failure";
        if (code != 0)
            ERR_error_string_n(code, text, sizeof text);
        lastErrorDescription_ = text;
    }
    ERR_clear_error();
    return status;
}

std::int32_t StreamSocketTLS::handshake() {
    ERR_clear_error();
    transferFailed_ = false;
    const int result = SSL_do_handshake(ssl_);
    return result == 1 ? StreamSocketTLSSuccess : statusFor(result);
}

std::int32_t StreamSocketTLS::read(std::uint8_t* buffer, std::size_t length, std::size_t* processed) {
    *processed = 0;
    while (*processed < length) {
        std::size_t count = 0;
        ERR_clear_error();
        transferFailed_ = false;
        if (SSL_read_ex(ssl_, buffer + *processed, length - *processed, &count) != 1)
            return statusFor(0);
        *processed += count;
    }
    return StreamSocketTLSSuccess;
}

std::int32_t StreamSocketTLS::write(const std::uint8_t* buffer, std::size_t length, std::size_t* processed) {
    *processed = 0;
    std::size_t count = 0;
    ERR_clear_error();
    transferFailed_ = false;
    if (heldLength_ > 0) {
        // OpenSSL wants the very chunk it took, again, to finish sending it.
        if (SSL_write_ex(ssl_, heldBuffer_, heldLength_, &count) != 1)
            return statusFor(0);
        heldBuffer_ = nullptr;
        heldLength_ = 0;
        return StreamSocketTLSSuccess;
    }
    if (length == 0)
        return StreamSocketTLSSuccess;
    if (SSL_write_ex(ssl_, buffer, length, &count) == 1) {
        *processed = count;
        return StreamSocketTLSSuccess;
    }
    const std::int32_t status = statusFor(0);
    if (status == StreamSocketTLSWouldBlock) {
        heldBuffer_ = buffer;
        heldLength_ = length;
    }
    return status;
}

std::size_t StreamSocketTLS::bufferedReadSize() const {
    return static_cast<std::size_t>(SSL_pending(ssl_));
}

void StreamSocketTLS::close() {
    ERR_clear_error();
    transferFailed_ = false;
    if (SSL_is_init_finished(ssl_))
        SSL_shutdown(ssl_);
    ERR_clear_error();
}
