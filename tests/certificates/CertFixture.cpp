#include "tests/certificates/CertFixture.h"

#include <fstream>

#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/x509v3.h>

#include "core/WideText.h"

extern std::int32_t g_SilentInstall;

namespace txrtest {

namespace {

std::shared_ptr<EVP_PKEY> NewKey()
{
    return std::shared_ptr<EVP_PKEY>(EVP_EC_gen("P-256"), &EVP_PKEY_free);
}

void AddExtension(X509* cert, X509* issuer, int nid, const char* value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    ASSERT_NE(ext, nullptr);
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
}

std::string Der(X509* x)
{
    unsigned char* buf = nullptr;
    const int n = i2d_X509(x, &buf);
    std::string d(reinterpret_cast<char*>(buf), static_cast<std::size_t>(n));
    OPENSSL_free(buf);
    return d;
}

}  // namespace

TestCert MakeCert(const std::string& commonName, Constraints constraints, const TestCert* issuer)
{
    static long serial = 1000;
    TestCert c;
    c.name = commonName;
    c.key = NewKey();
    c.cert = std::shared_ptr<X509>(X509_new(), &X509_free);
    X509* x = c.cert.get();
    X509_set_version(x, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(x), ++serial);
    X509_gmtime_adj(X509_getm_notBefore(x), -3600);
    X509_gmtime_adj(X509_getm_notAfter(x), 3600L * 24 * 365);
    X509_NAME* name = X509_get_subject_name(x);
    X509_NAME_add_entry_by_txt(name, "C", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("DE"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Brevanto Test"), -1,
                               -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(commonName.c_str()),
                               -1, -1, 0);
    X509* issuerCert = issuer ? issuer->cert.get() : x;
    X509_set_issuer_name(x, X509_get_subject_name(issuerCert));
    X509_set_pubkey(x, c.key.get());
    AddExtension(x, issuerCert, NID_subject_key_identifier, "hash");
    switch (constraints) {
    case Constraints::None: break;
    case Constraints::CaNoPathLen: AddExtension(x, issuerCert, NID_basic_constraints, "critical,CA:TRUE"); break;
    case Constraints::CaPathLen: AddExtension(x, issuerCert, NID_basic_constraints, "critical,CA:TRUE,pathlen:0"); break;
    case Constraints::EndEntity: AddExtension(x, issuerCert, NID_basic_constraints, "CA:FALSE"); break;
    }
    AddExtension(x, issuerCert, NID_key_usage, constraints == Constraints::EndEntity ? "digitalSignature" : "keyCertSign");
    X509_sign(x, issuer ? issuer->key.get() : c.key.get(), EVP_sha256());
    return c;
}

std::string Base64Der(const TestCert& c)
{
    const std::string der = Der(c.cert.get());
    std::string out(4 * ((der.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(der.data()), static_cast<int>(der.size()));
    out.resize(static_cast<std::size_t>(n));
    return out;
}

void CertTest::SetUp()
{
    SimTest::SetUp();
    form_.UI_BuildCatalogs();
    form_.UI_SelectedLanguage = 0;
    g_SilentInstall = 0;
    // The INF reader's result for the ZKW driver in the unpack folder; the catalog is spelled in
    // other letter case than the INF names it.
    std::filesystem::create_directories(sim::Machine::get().drive_c() / "Pkg" / "Driver");
    std::ofstream(sim::Machine::get().drive_c() / "Pkg" / "Driver" / "TXR4103ZKW.inf") << "[Version]\r\n";
    txr::CopyToField(record_.InfFileName, u"TXR4103ZKW.inf");
    txr::CopyToField(record_.InfFilePath, u"C:\\Pkg\\Driver\\TXR4103ZKW.inf");
    txr::CopyToField(record_.CatalogFileName, u"TXR4103ZKW.CAT");
}

void CertTest::TearDown()
{
    g_SilentInstall = 0;
    SimTest::TearDown();
}

void CertTest::UseLocale(const std::string& locale)
{
    FreshMachine(locale);
    std::filesystem::create_directories(sim::Machine::get().drive_c() / "Pkg" / "Driver");
    std::ofstream(sim::Machine::get().drive_c() / "Pkg" / "Driver" / "TXR4103ZKW.inf") << "[Version]\r\n";
    form_.UI_SelectedLanguage = locale == "en-US" ? 1 : 0;
}

void CertTest::WriteCatalog(const TestCert& signer, const std::vector<const TestCert*>& carried)
{
    std::unique_ptr<STACK_OF(X509), void (*)(STACK_OF(X509)*)> extra(sk_X509_new_null(),
                                                                       [](STACK_OF(X509)* s) { sk_X509_free(s); });
    for (const TestCert* c : carried) sk_X509_push(extra.get(), c->cert.get());
    const std::string content = "catalog of the TXR4103 driver package";
    std::unique_ptr<BIO, decltype(&BIO_free)> in(BIO_new_mem_buf(content.data(), static_cast<int>(content.size())),
                                                 &BIO_free);
    std::unique_ptr<CMS_ContentInfo, decltype(&CMS_ContentInfo_free)> cms(
        CMS_sign(signer.cert.get(), signer.key.get(), extra.get(), in.get(), CMS_BINARY), &CMS_ContentInfo_free);
    ASSERT_NE(cms, nullptr);
    const auto path = sim::Machine::get().drive_c() / "Pkg" / "Driver" / "txr4103zkw.cat";
    std::unique_ptr<BIO, decltype(&BIO_free)> out(BIO_new_file(path.string().c_str(), "wb"), &BIO_free);
    ASSERT_EQ(i2d_CMS_bio(out.get(), cms.get()), 1);
}

void CertTest::WriteUnsignedCatalog()
{
    std::ofstream(sim::Machine::get().drive_c() / "Pkg" / "Driver" / "txr4103zkw.cat", std::ios::binary)
        << "not a signed catalog";
}

void CertTest::PutInStore(const std::string& store, const TestCert& c)
{
    State()["certificates"]["stores"][store].push_back(Base64Der(c));
    Save();
}

std::vector<std::string> CertTest::StoreContents(const std::string& store)
{
    return State()["certificates"]["stores"][store].get<std::vector<std::string>>();
}

bool CertTest::StoreHolds(const std::string& store, const TestCert& c)
{
    for (const auto& e : StoreContents(store))
        if (e == Base64Der(c)) return true;
    return false;
}

void CertTest::WriteStandardCatalog()
{
    MakeStandardChain();
    WriteCatalog(signer_, {&intermediate_, &root_});
}

void CertTest::MakeStandardChain()
{
    root_ = MakeCert("Brevanto Test Root CA", Constraints::CaNoPathLen, nullptr);
    intermediate_ = MakeCert("Brevanto Test Intermediate CA", Constraints::CaPathLen, &root_);
    signer_ = MakeCert("Brevanto Test Publisher", Constraints::EndEntity, &intermediate_);
}

}  // namespace txrtest
