// TLS between two stream sockets, with a self-signed certificate made here at run time.

#include "StreamSocketTestSupport.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <thread>

using namespace streamtest;

namespace {

struct Identity {
    std::vector<std::uint8_t> pem; // private key and certificate
    std::vector<std::uint8_t> der; // the certificate alone
};

const Identity& selfSignedIdentity() {
    static const Identity identity = [] {
        Identity result;
        EVP_PKEY* key = EVP_EC_gen("P-256");
        X509* certificate = X509_new();
        X509_set_version(certificate, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
        X509_gmtime_adj(X509_getm_notBefore(certificate), -60);
        X509_gmtime_adj(X509_getm_notAfter(certificate), 24 * 3600);
        X509_set_pubkey(certificate, key);
        X509_NAME* name = X509_get_subject_name(certificate);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
        X509_set_issuer_name(certificate, name);
        X509V3_CTX context;
        X509V3_set_ctx_nodb(&context);
        X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
        X509_EXTENSION* san = X509V3_EXT_conf_nid(nullptr, &context, NID_subject_alt_name, "DNS:localhost");
        X509_add_ext(certificate, san, -1);
        X509_EXTENSION_free(san);
        X509_sign(certificate, key, EVP_sha256());

        BIO* bio = BIO_new(BIO_s_mem());
        PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
        PEM_write_bio_X509(bio, certificate);
        char* data = nullptr;
        const long length = BIO_get_mem_data(bio, &data);
        result.pem.assign(data, data + length);
        BIO_free(bio);
        unsigned char* der = nullptr;
        const int derLength = i2d_X509(certificate, &der);
        result.der.assign(der, der + derLength);
        OPENSSL_free(der);
        X509_free(certificate);
        EVP_PKEY_free(key);
        return result;
    }();
    return identity;
}

StreamSocketTLSSettings serverSettings() {
    return {{kCFStreamSSLIsServer, true},
            {kCFStreamSSLCertificates, StreamSocketTLSValue::Array{selfSignedIdentity().pem}}};
}

StreamSocketTLSSettings trustingClientSettings() {
    return {{StreamSocketManuallyEvaluateTrust, true}, {kCFStreamSSLPeerName, "localhost"}};
}

// A connected client and the server's accepted socket, each with its own delegate.
struct Pair {
    std::shared_ptr<RecordingDelegate> serverDelegate =
        std::make_shared<RecordingDelegate>("StreamSocketTests.server");
    std::shared_ptr<RecordingDelegate> clientDelegate =
        std::make_shared<RecordingDelegate>("StreamSocketTests.client");
    std::shared_ptr<StreamSocket> listener = makeSocket(serverDelegate);
    std::shared_ptr<StreamSocket> client = makeSocket(clientDelegate);
    std::shared_ptr<StreamSocket> server;

    Pair() {
        EXPECT_TRUE(listener->acceptOnInterface("127.0.0.1", 0));
        EXPECT_TRUE(client->connectToHost("127.0.0.1", listener->localPort(), 5));
        EXPECT_TRUE(serverDelegate->waitFor([&] { return serverDelegate->accepted.size() == 1; }));
        EXPECT_TRUE(clientDelegate->waitFor([&] { return clientDelegate->connects == 1; }));
        server = serverDelegate->accepted.at(0);
    }
    ~Pair() {
        client->disconnect();
        if (server)
            server->disconnect();
    }
};

void expectClosedWith(RecordingDelegate& delegate, const char* domain, long code,
                      const std::string& description = std::string()) {
    ASSERT_TRUE(delegate.waitFor([&] { return delegate.disconnects == 1; }));
    ASSERT_TRUE(delegate.disconnectError);
    EXPECT_EQ(delegate.disconnectError->domain, domain);
    EXPECT_EQ(delegate.disconnectError->code, code);
    if (!description.empty()) {
        EXPECT_EQ(delegate.disconnectError->localizedDescription(), description);
    }
}

} // namespace

TEST(StreamSocketTLS, SecuresAfterClearTextAndCarriesLargeTransfers) {
    Pair pair;
    auto& c = *pair.clientDelegate;
    auto& s = *pair.serverDelegate;
    c.evaluatesTrust = true;
    c.trustAnswers = 2; // the second answer must change nothing
    c.trustDecision = [](const StreamSocketTrust& trust) {
        return !trust.certificateChain().empty() && trust.certificateChain()[0] == selfSignedIdentity().der;
    };

    // Bytes written before the start go in the clear; reads queued after it wait for it.
    pair.client->writeData(StreamSocketData::fromString("STARTTLS\n"), 5, 1);
    pair.client->startTLS(trustingClientSettings());
    pair.client->startTLS(trustingClientSettings());
    pair.server->readDataToData(StreamSocket::LFData(), 5, 1);
    pair.server->startTLS(serverSettings());
    ASSERT_TRUE(s.waitFor([&] { return s.secured == 1; }));
    ASSERT_TRUE(c.waitFor([&] { return c.secured == 1; }));
    EXPECT_EQ(s.readText(0), "STARTTLS\n");
    EXPECT_TRUE(pair.client->isSecure());
    EXPECT_TRUE(pair.server->isSecure());
    ASSERT_TRUE(c.trust);
    std::string reason;
    EXPECT_FALSE(c.trust->evaluate(&reason)); // self-signed: only the owner's decision lets it through
    EXPECT_FALSE(reason.empty());

    // A megabyte each way through the TLS layer, in several records and partial writes.
    std::vector<std::uint8_t> big(1 << 20);
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<std::uint8_t>(i * 7);
    pair.client->writeData(big, 10, 2);
    pair.server->readDataToLength(big.size(), 10, 2);
    ASSERT_TRUE(s.waitFor([&] { return s.reads.size() == 2; }));
    EXPECT_TRUE(s.readText(1) == std::string(big.begin(), big.end()));
    pair.server->writeData(StreamSocketData::fromString("line one\nline two\n"), 5, 3);
    pair.client->readDataToData(StreamSocket::LFData(), 5, 3);
    pair.client->readDataToData(StreamSocket::LFData(), 5, 4);
    ASSERT_TRUE(c.waitFor([&] { return c.reads.size() == 2; }));
    EXPECT_EQ(c.readText(0), "line one\n");
    EXPECT_EQ(c.readText(1), "line two\n");
    c.flush();
    EXPECT_EQ(c.secured, 1);
    EXPECT_EQ(c.trustRequests, 1);

    // A graceful close reaches the peer as a close, not as a TLS failure.
    pair.server->readDataWithTimeout(5, 4);
    pair.client->disconnect();
    expectClosedWith(s, StreamSocketError::domain, StreamSocketClosedError);
}

TEST(StreamSocketTLS, RefusedOrUnevaluatedTrustCloses) {
    {
        Pair pair;
        pair.clientDelegate->evaluatesTrust = true;
        pair.clientDelegate->trustDecision = [](const StreamSocketTrust&) { return false; };
        pair.clientDelegate->trustAnswers = 2; // a late "yes" after the refusal must change nothing
        pair.client->startTLS(trustingClientSettings());
        pair.server->startTLS(serverSettings());
        expectClosedWith(*pair.clientDelegate, StreamSocketError::sslDomain, -9825);
        EXPECT_EQ(pair.clientDelegate->disconnectError->userInfo.at(StreamSocketError::recoverySuggestionKey),
                  "Error code definition can be found in Apple's SecureTransport.h");
        // The server sees its handshake cut off.
        ASSERT_TRUE(pair.serverDelegate->waitFor([&] { return pair.serverDelegate->disconnects == 1; }));
        EXPECT_EQ(pair.serverDelegate->disconnectError->domain, StreamSocketError::sslDomain);
        EXPECT_EQ(pair.clientDelegate->secured + pair.serverDelegate->secured, 0);
    }
    {
        // Manual trust asked for, but the delegate does not evaluate trust.
        Pair pair;
        pair.client->startTLS(trustingClientSettings());
        pair.server->startTLS(serverSettings());
        expectClosedWith(*pair.clientDelegate, StreamSocketError::domain, StreamSocketOtherError,
                         "StreamSocketManuallyEvaluateTrust specified in tlsSettings, but delegate doesn't "
                         "implement socket:shouldTrustPeer:");
    }
    {
        // Without manual trust a self-signed certificate fails the default checks.
        Pair pair;
        pair.client->startTLS({{kCFStreamSSLPeerName, "localhost"}});
        pair.server->startTLS(serverSettings());
        expectClosedWith(*pair.clientDelegate, StreamSocketError::sslDomain, -9807);
    }
}

TEST(StreamSocketTLS, SettingsItCannotHonourCloseTheSocket) {
    struct Case {
        StreamSocketTLSSettings settings;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{{kCFStreamSSLAllowsAnyRoot, true}}, "Security option unavailable - kCFStreamSSLAllowsAnyRoot"},
        {{{kCFStreamSSLLevel, "kCFStreamSocketSecurityLevelTLSv1"}},
         "Security option unavailable - kCFStreamSSLLevel"},
        {{{kCFStreamSSLIsServer, true}, {StreamSocketManuallyEvaluateTrust, true}},
         "Manual trust validation is not supported for server sockets"},
        {{{kCFStreamSSLPeerName, 42}}, "Invalid value for kCFStreamSSLPeerName."},
        {{{kCFStreamSSLCertificates, "not an array"}}, "Invalid value for kCFStreamSSLCertificates."},
        {{{kCFStreamSSLCertificates, StreamSocketTLSValue::Array{StreamSocketTLSValue::Bytes{1, 2, 3}}}},
         "Error in SSLSetCertificate"},
        {{{StreamSocketSSLProtocolVersionMin, 0x0200}}, "Error in SSLSetProtocolVersionMin"},
        {{{StreamSocketSSLSessionOptionFalseStart, true}},
         "Error in SSLSetSessionOption (kSSLSessionOptionFalseStart)"},
        {{{StreamSocketSSLCipherSuites, StreamSocketTLSValue::Array{0xFFFF}}},
         "Error in SSLSetEnabledCiphers"},
        {{{StreamSocketSSLDiffieHellmanParameters, StreamSocketTLSValue::Bytes{1, 2, 3}}},
         "Error in SSLSetDiffieHellmanParams"},
        {{{StreamSocketSSLALPN, StreamSocketTLSValue::Array{""}}}, "Error in SSLSetALPNProtocols"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.message);
        Pair pair;
        pair.client->startTLS(test.settings);
        pair.server->startTLS(serverSettings());
        expectClosedWith(*pair.clientDelegate, StreamSocketError::domain, StreamSocketOtherError,
                         test.message);
    }
}

TEST(StreamSocketTLS, AppliesTheSettingsOpenSSLSupports) {
    Pair pair;
    pair.clientDelegate->evaluatesTrust = true;
    StreamSocketTLSSettings client = trustingClientSettings();
    client.insert_or_assign(StreamSocketSSLProtocolVersionMin, StreamSocketTLSVersion13);
    client.insert_or_assign(StreamSocketSSLCipherSuites,
                            StreamSocketTLSValue::Array{0x1302}); // TLS_AES_256_GCM_SHA384
    client.insert_or_assign(StreamSocketSSLALPN, StreamSocketTLSValue::Array{"sonavant/1", "other"});
    client.insert_or_assign(StreamSocketSSLSessionOptionSendOneByteRecord, false);
    StreamSocketTLSSettings server = serverSettings();
    server.insert_or_assign(StreamSocketSSLALPN, StreamSocketTLSValue::Array{"sonavant/1"});
    pair.client->startTLS(client);
    pair.server->startTLS(server);
    ASSERT_TRUE(pair.clientDelegate->waitFor([&] { return pair.clientDelegate->secured == 1; }));

    pair.client->performBlock([&] {
        SSL* ssl = pair.client->sslContext();
        ASSERT_NE(ssl, nullptr);
        EXPECT_EQ(SSL_version(ssl), TLS1_3_VERSION);
        EXPECT_STREQ(SSL_CIPHER_get_name(SSL_get_current_cipher(ssl)), "TLS_AES_256_GCM_SHA384");
        const unsigned char* protocol = nullptr;
        unsigned int length = 0;
        SSL_get0_alpn_selected(ssl, &protocol, &length);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(protocol), length), "sonavant/1");
    });
}

TEST(StreamSocketTLS, BrokenHandshakesEndWithATLSError) {
    auto delegate = std::make_shared<RecordingDelegate>("StreamSocketTests.server");
    auto listener = makeSocket(delegate);
    ASSERT_TRUE(listener->acceptOnInterface("127.0.0.1", 0));
    {
        // Clear text where a handshake should be.
        RawPeer peer(listener->localPort());
        ASSERT_TRUE(delegate->waitFor([&] { return delegate->accepted.size() == 1; }));
        delegate->accepted[0]->startTLS(serverSettings());
        ASSERT_TRUE(peer.send("GET / HTTP/1.0\r\n\r\n"));
        ASSERT_TRUE(delegate->waitFor([&] { return delegate->disconnects == 1; }));
        EXPECT_EQ(delegate->disconnectError->domain, StreamSocketError::sslDomain);
    }
    {
        // A peer that goes away before finishing the handshake.
        RawPeer peer(listener->localPort());
        ASSERT_TRUE(delegate->waitFor([&] { return delegate->accepted.size() == 2; }));
        delegate->accepted[1]->startTLS(serverSettings());
        peer.close();
        ASSERT_TRUE(delegate->waitFor([&] { return delegate->disconnects == 2; }));
        EXPECT_EQ(delegate->disconnectError->domain, StreamSocketError::sslDomain);
        EXPECT_EQ(delegate->disconnectError->code, -9806);
    }
    {
        // A peer that never answers: the owner can still give up.
        RawPeer peer(listener->localPort());
        ASSERT_TRUE(delegate->waitFor([&] { return delegate->accepted.size() == 3; }));
        auto sock = delegate->accepted[2];
        sock->startTLS(serverSettings());
        sock->performBlock([] {});
        sock->disconnect();
        ASSERT_TRUE(delegate->waitFor([&] { return delegate->disconnects == 3; }));
        EXPECT_FALSE(delegate->disconnectError);
    }
}

TEST(StreamSocketTLS, PeerIDResumesTheSessionWithTheSamePeer) {
    // A plain OpenSSL server with one context for both connections, so its tickets stay valid.
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    BIO* bio =
        BIO_new_mem_buf(selfSignedIdentity().pem.data(), static_cast<int>(selfSignedIdentity().pem.size()));
    EVP_PKEY* key = PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    bio = BIO_new_mem_buf(selfSignedIdentity().pem.data(), static_cast<int>(selfSignedIdentity().pem.size()));
    X509* certificate = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    ASSERT_EQ(SSL_CTX_use_certificate(context, certificate), 1);
    ASSERT_EQ(SSL_CTX_use_PrivateKey(context, key), 1);
    X509_free(certificate);
    EVP_PKEY_free(key);

    const int listenFD = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listenFD, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listenFD, 4), 0);
    ASSERT_EQ(::getsockname(listenFD, reinterpret_cast<sockaddr*>(&address), &length), 0);

    std::thread server([&] {
        for (int i = 0; i < 2; ++i) {
            pollfd waiting{listenFD, POLLIN, 0};
            if (::poll(&waiting, 1, 10000) != 1)
                return;
            const int fd = ::accept(listenFD, nullptr, nullptr);
            timeval timeout{10, 0};
            setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
            SSL* ssl = SSL_new(context);
            SSL_set_fd(ssl, fd);
            if (SSL_accept(ssl) == 1) {
                SSL_write(ssl, "hi\n", 3);
                char buffer[16];
                SSL_read(ssl, buffer, sizeof buffer); // until the client closes
            }
            SSL_free(ssl);
            ::close(fd);
        }
    });

    // A failed assertion leaves only this lambda, so the server thread is always joined.
    auto connectOnce = [&](int round) {
        SCOPED_TRACE(round);
        auto delegate = std::make_shared<RecordingDelegate>();
        delegate->evaluatesTrust = true;
        auto client = makeSocket(delegate);
        ASSERT_TRUE(client->connectToHost("127.0.0.1", ntohs(address.sin_port), 5));
        StreamSocketTLSSettings settings = trustingClientSettings();
        settings.insert_or_assign(StreamSocketSSLPeerID, StreamSocketTLSValue::Bytes{'d', 'e', 's', 'k'});
        client->startTLS(settings);
        client->readDataToData(StreamSocket::LFData(), 5, 1);
        ASSERT_TRUE(
            delegate->waitFor([&] { return delegate->reads.size() == 1 || delegate->disconnects > 0; }));
        EXPECT_EQ(delegate->readText(0), "hi\n");
        bool reused = false;
        client->performBlock([&] { reused = SSL_session_reused(client->sslContext()) == 1; });
        EXPECT_EQ(reused, round == 1);
        // A resumed session shows no certificate, so there is nothing to evaluate.
        EXPECT_EQ(delegate->trustRequests, round == 0 ? 1 : 0);
        client->disconnect();
    };
    connectOnce(0);
    connectOnce(1);
    server.join();
    ::close(listenFD);
    SSL_CTX_free(context);
}
