// Certificate chains made with OpenSSL for each test (no key is ever written to disk), catalogs
// signed by them (DER CMS SignedData carrying the signer and its issuers), and a simulated machine
// whose stores can be seeded with them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <openssl/evp.h>
#include <openssl/x509.h>

#include "core/DriverRecords.h"
#include "core/Form1.h"
#include "tests/support/SimFixture.h"

namespace txrtest {

// How a test certificate carries Basic Constraints.
enum class Constraints { None, CaNoPathLen, CaPathLen, EndEntity };

struct TestCert {
    std::shared_ptr<X509> cert;
    std::shared_ptr<EVP_PKEY> key;
    std::string name;  // the common name
};

// A key pair and a certificate; issuer null makes it self-signed.
TestCert MakeCert(const std::string& commonName, Constraints constraints, const TestCert* issuer);
// The base64 DER form the sim's stores hold.
std::string Base64Der(const TestCert& c);

class CertTest : public SimTest {
protected:
    void SetUp() override;
    void TearDown() override;
    // Makes a fresh machine in the locale and selects the matching catalog.
    void UseLocale(const std::string& locale);

    // Writes the catalog of the record: signed by signer, carrying the others.
    void WriteCatalog(const TestCert& signer, const std::vector<const TestCert*>& carried);
    void WriteUnsignedCatalog();
    // MakeStandardChain and a catalog signed by its publisher, carrying the intermediate and root.
    void WriteStandardCatalog();
    void PutInStore(const std::string& store, const TestCert& c);
    std::vector<std::string> StoreContents(const std::string& store);
    bool StoreHolds(const std::string& store, const TestCert& c);

    // The usual three: root (no path length) > intermediate (path length 0) > publisher.
    void MakeStandardChain();

    txr::Form1 form_;
    txr::DriverInstallInfoStruct record_{};
    TestCert root_, intermediate_, signer_;
};

}  // namespace txrtest
