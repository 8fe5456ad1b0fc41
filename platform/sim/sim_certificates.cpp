// The simulated machine's certificate facilities, over OpenSSL: signed files (DER or PEM CMS/PKCS #7
// SignedData), a chain engine that looks for issuers in the machine's stores and among the
// certificates a signature carries, extensions with the platform's own friendly names in the
// machine's language, names in crypt32's string forms, and the local machine's system stores.
//
// State section "certificates":
//   "stores":    { "Root": [cert, ...], "CA": [...], "AuthRoot": [...], "TrustedPublisher": [...] }
//                each cert a PEM text or base64 DER; other store names are created when opened
//   "oid_names": { "2.5.29.19": "Basic Constraints", ... } what CryptFindOIDInfo calls an OID
// Events: {"type":"certificate_added","store":...,"subject":...} for every certificate added.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <openssl/bio.h>
#include <openssl/pem.h>
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include "platform/sim/SimElevation.h"
#include "platform/sim/SimMachine.h"
#include "platform/sim/SimTrust.h"
#include "platform/utf.h"
#include "platform/win/certificates.h"
#include "platform/win/errors.h"

// The context types are opaque to the seam; here they are the sim's own objects.
namespace win {
struct CERT_CONTEXT {
    std::string der;
    std::unique_ptr<X509, decltype(&X509_free)> x509{nullptr, &X509_free};
    std::vector<std::string> extensionOids;
    std::vector<std::string> extensionValues;
    std::vector<CERT_EXTENSION> extensions;
    // The certificates of the store this context came from (for a signer: those of its signature).
    std::vector<std::string> storeCertificates;
    HANDLE handle = nullptr;  // the handle-table entry of a context the caller must free
};
struct CERT_CHAIN_CONTEXT {
    std::vector<std::unique_ptr<CERT_CONTEXT>> elements;
    HANDLE handle = nullptr;
};
}  // namespace win

namespace {

using win::CERT_CONTEXT;
using win::CERT_CHAIN_CONTEXT;

const char* const kDefaultRoots[] = {
    "-----BEGIN CERTIFICATE-----\n"
    "MIICATCCAaegAwIBAgIITsGaP4wPsiwwCgYIKoZIzj0EAwIwUzELMAkGA1UEBhMC\n"
    "VVMxITAfBgNVBAoMGE5vcnRod2luZCBUcnVzdCBTZXJ2aWNlczEhMB8GA1UEAwwY\n"
    "Tm9ydGh3aW5kIEdsb2JhbCBSb290IENBMCAXDTI2MTIxMDE0NTk0NFoYDzIwNTEw\n"
    "ODAxMTQ1OTQ0WjBTMQswCQYDVQQGEwJVUzEhMB8GA1UECgwYTm9ydGh3aW5kIFRy\n"
    "dXN0IFNlcnZpY2VzMSEwHwYDVQQDDBhOb3J0aHdpbmQgR2xvYmFsIFJvb3QgQ0Ew\n"
    "WTATBgcqhkjOPQIBBggqhkjOPQMBBwNCAARUw4Jpy6brCG4/N1GNTKY4F+sG5IMw\n"
    "EVdcBUhpiHxwQWCq62l/DJKpP9ltic04aLvB1XyXXfaUezrhZ28nTYyho2MwYTAd\n"
    "BgNVHQ4EFgQUcGPzc/cFi3UW5BM6eCYjZhM2oP4wHwYDVR0jBBgwFoAUcGPzc/cF\n"
    "i3UW5BM6eCYjZhM2oP4wDwYDVR0TAQH/BAUwAwEB/zAOBgNVHQ8BAf8EBAMCAQYw\n"
    "CgYIKoZIzj0EAwIDSAAwRQIhAKnsc5nauW1wWJbx1vfwVbi7RvzR+W0/vGDe8MHW\n"
    "0K1oAiA7u4ahb5S78cOC8fLC5Y7WXzf6EBNcwgxXCMXVsZ4QLA==\n"
    "-----END CERTIFICATE-----\n",
    "-----BEGIN CERTIFICATE-----\n"
    "MIICBjCCAa2gAwIBAgIIRXaalt88xKIwCgYIKoZIzj0EAwIwVjELMAkGA1UEBhMC\n"
    "REUxJjAkBgNVBAoMHUFscGVubGFuZCBaZXJ0aWZpemllcnVuZyBHbWJIMR8wHQYD\n"
    "VQQDDBZBbHBlbmxhbmQgUm9vdCBDQSAyMDE1MCAXDTI2MTIxMDE0NTk0NFoYDzIw\n"
    "NTEwODAxMTQ1OTQ0WjBWMQswCQYDVQQGEwJERTEmMCQGA1UECgwdQWxwZW5sYW5k\n"
    "IFplcnRpZml6aWVydW5nIEdtYkgxHzAdBgNVBAMMFkFscGVubGFuZCBSb290IENB\n"
    "IDIwMTUwWTATBgcqhkjOPQIBBggqhkjOPQMBBwNCAAS0KxKkuYEeC55WonmKtWUO\n"
    "QQdcm5GPxkkraqt+SZKj5Oi3na6eg+KUlnHTr+M7d3HXpX6mVc/U5t/BT/WiMX2r\n"
    "o2MwYTAdBgNVHQ4EFgQUS5lOsKukdXobSbf6dBeNF+Y3rigwHwYDVR0jBBgwFoAU\n"
    "S5lOsKukdXobSbf6dBeNF+Y3rigwDwYDVR0TAQH/BAUwAwEB/zAOBgNVHQ8BAf8E\n"
    "BAMCAQYwCgYIKoZIzj0EAwIDRwAwRAIgfDrcIiLG+K/SuZXijsE3l7+KP727BV5Z\n"
    "WVa2OEztStECIEkwPYKMh7K0OiZur3jQTCBUvHJN9L9d6igrM8NpV9hp\n"
    "-----END CERTIFICATE-----\n",
    "-----BEGIN CERTIFICATE-----\n"
    "MIIB+jCCAaCgAwIBAgIJAJ0OmrNWl+hmMAoGCCqGSM49BAMCME8xCzAJBgNVBAYT\n"
    "AkdCMR4wHAYDVQQKDBVNZXJpZGlhbiBDZXJ0aWZpY2F0ZXMxIDAeBgNVBAMMF01l\n"
    "cmlkaWFuIFB1YmxpYyBSb290IFIyMCAXDTI2MTIxMDE0NTk0NVoYDzIwNTEwODAx\n"
    "MTQ1OTQ1WjBPMQswCQYDVQQGEwJHQjEeMBwGA1UECgwVTWVyaWRpYW4gQ2VydGlm\n"
    "aWNhdGVzMSAwHgYDVQQDDBdNZXJpZGlhbiBQdWJsaWMgUm9vdCBSMjBZMBMGByqG\n"
    "SM49AgEGCCqGSM49AwEHA0IABCvbpBSaYBJAmjUCFJ7Euj9ftWmPbojvAnzv0nlK\n"
    "ypf8f3PH5C7DYHybK1zRE3ViJoOfAfRSAVGxdzanilVkcRijYzBhMB0GA1UdDgQW\n"
    "BBSV2MILQGZee72yQI87sa0nfztGbjAfBgNVHSMEGDAWgBSV2MILQGZee72yQI87\n"
    "sa0nfztGbjAPBgNVHRMBAf8EBTADAQH/MA4GA1UdDwEB/wQEAwIBBjAKBggqhkjO\n"
    "PQQDAgNIADBFAiEAyTHl30TP98kstae/zehZhUWsmhMDptOEauhFme1FJDECICXV\n"
    "BEQz18fSXsHxn0zpNs+O7HFiVohG6CbZHpZxFjje\n"
    "-----END CERTIFICATE-----\n",
};



// Live contexts, chains and stores, so that a stale or foreign pointer is refused instead of used.
std::set<const CERT_CONTEXT*>& freeable_contexts()
{
    static std::set<const CERT_CONTEXT*> s;
    return s;
}
std::set<const CERT_CONTEXT*>& chain_element_contexts()
{
    static std::set<const CERT_CONTEXT*> s;
    return s;
}
std::set<const CERT_CHAIN_CONTEXT*>& live_chains()
{
    static std::set<const CERT_CHAIN_CONTEXT*> s;
    return s;
}
struct OpenStore {
    std::string name;
    bool readOnly = false;
};
std::map<win::HCERTSTORE, OpenStore>& open_stores()
{
    static std::map<win::HCERTSTORE, OpenStore> s;
    return s;
}

bool is_context(win::PCCERT_CONTEXT c)
{
    return c && (freeable_contexts().count(c) || chain_element_contexts().count(c));
}

std::string der_of(X509* x)
{
    unsigned char* buf = nullptr;
    const int n = i2d_X509(x, &buf);
    if (n <= 0) return {};
    std::string d(reinterpret_cast<char*>(buf), static_cast<std::size_t>(n));
    OPENSSL_free(buf);
    return d;
}

std::unique_ptr<X509, decltype(&X509_free)> parse_der(const std::string& der)
{
    const auto* p = reinterpret_cast<const unsigned char*>(der.data());
    return {d2i_X509(nullptr, &p, static_cast<long>(der.size())), &X509_free};
}

// A store entry: PEM text or base64 DER. Empty when it holds no certificate.
std::string der_of_entry(const std::string& text)
{
    if (text.find("-----BEGIN") != std::string::npos) {
        std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())),
                                                      &BIO_free);
        std::unique_ptr<X509, decltype(&X509_free)> x(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr),
                                                      &X509_free);
        return x ? der_of(x.get()) : std::string();
    }
    std::string clean;
    for (char c : text)
        if (!std::isspace(static_cast<unsigned char>(c))) clean += c;
    std::string out(clean.size() / 4 * 3 + 3, '\0');
    const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(clean.data()), static_cast<int>(clean.size()));
    if (n <= 0) return {};
    std::size_t len = static_cast<std::size_t>(n);
    // EVP_DecodeBlock counts the padding as data.
    if (!clean.empty() && clean.back() == '=') --len;
    if (clean.size() > 1 && clean[clean.size() - 2] == '=') --len;
    out.resize(len);
    return parse_der(out) ? out : std::string();
}

std::string base64_of(const std::string& der)
{
    std::string out(4 * ((der.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(der.data()), static_cast<int>(der.size()));
    out.resize(static_cast<std::size_t>(n));
    return out;
}

// The sample package's test root, when the build linked it in (see cmake/EmbeddedResources.cmake).
std::string trusted_test_root()
{
    for (const auto& r : sim::embedded_resources())
        if (r.name && std::u16string_view(r.name) == u"TXR_SIM.TRUSTED_TEST_ROOT")
            return std::string(reinterpret_cast<const char*>(r.data), r.size);
    return {};
}

// The machine-wide roots of a fresh machine go to Root, the third one to AuthRoot (as Windows
// keeps its automatically updated third-party roots); the sample package's test root stands for
// the public root a vendor's chain ends in and is in Root too.
const sim::RegisterDefaults certificateDefaults("certificates", [](sim::json& s, const sim::ProfileOptions& o) {
    const bool german = o.locale.rfind("de", 0) == 0;
    sim::json roots = {kDefaultRoots[0], kDefaultRoots[1]};
    if (auto testRoot = trusted_test_root(); !testRoot.empty()) roots.push_back(base64_of(testRoot));
    s["certificates"] = {
        {"stores",
         {{"Root", roots},
          {"CA", sim::json::array()},
          {"AuthRoot", {kDefaultRoots[2]}},
          {"TrustedPublisher", sim::json::array()}}},
        {"oid_names",
         german ? sim::json{{"2.5.29.19", "Basiseinschränkungen"},
                            {"2.5.29.10", "Basiseinschränkungen"},
                            {"2.5.29.15", "Schlüsselverwendung"},
                            {"2.5.29.37", "Erweiterte Schlüsselverwendung"},
                            {"2.5.29.14", "Schlüsselkennung des Antragstellers"},
                            {"2.5.29.35", "Stellenschlüsselkennung"},
                            {"2.5.29.17", "Alternativer Antragstellername"}}
                : sim::json{{"2.5.29.19", "Basic Constraints"},
                            {"2.5.29.10", "Basic Constraints"},
                            {"2.5.29.15", "Key Usage"},
                            {"2.5.29.37", "Enhanced Key Usage"},
                            {"2.5.29.14", "Subject Key Identifier"},
                            {"2.5.29.35", "Authority Key Identifier"},
                            {"2.5.29.17", "Subject Alternative Name"}}},
    };
});

std::unique_ptr<CERT_CONTEXT> make_context(const std::string& der)
{
    auto c = std::make_unique<CERT_CONTEXT>();
    c->x509 = parse_der(der);
    if (!c->x509) return nullptr;
    c->der = der;
    const int n = X509_get_ext_count(c->x509.get());
    for (int i = 0; i < n; ++i) {
        X509_EXTENSION* ext = X509_get_ext(c->x509.get(), i);
        char oid[128] = {};
        OBJ_obj2txt(oid, sizeof oid, X509_EXTENSION_get_object(ext), 1);
        const ASN1_OCTET_STRING* value = X509_EXTENSION_get_data(ext);
        c->extensionOids.emplace_back(oid);
        c->extensionValues.emplace_back(reinterpret_cast<const char*>(ASN1_STRING_get0_data(value)),
                                        static_cast<std::size_t>(ASN1_STRING_length(value)));
    }
    for (int i = 0; i < n; ++i) {
        win::CERT_EXTENSION e{};
        e.pszObjId = c->extensionOids[static_cast<std::size_t>(i)].data();
        e.fCritical = X509_EXTENSION_get_critical(X509_get_ext(c->x509.get(), i)) ? win::TRUE : win::FALSE;
        e.Value.cbData = static_cast<win::DWORD>(c->extensionValues[static_cast<std::size_t>(i)].size());
        e.Value.pbData = reinterpret_cast<win::BYTE*>(c->extensionValues[static_cast<std::size_t>(i)].data());
        c->extensions.push_back(e);
    }
    return c;
}

// Hands a context to the caller, who frees it with CertFreeCertificateContext.
win::PCCERT_CONTEXT hand_out(std::unique_ptr<CERT_CONTEXT> c, const char* openedBy)
{
    c->handle = sim::Machine::get().open_handle("certificate", openedBy);
    CERT_CONTEXT* raw = c.release();
    freeable_contexts().insert(raw);
    return raw;
}

std::string name_der(const X509_NAME* name)
{
    unsigned char* buf = nullptr;
    const int n = i2d_X509_NAME(name, &buf);
    if (n <= 0) return {};
    std::string d(reinterpret_cast<char*>(buf), static_cast<std::size_t>(n));
    OPENSSL_free(buf);
    return d;
}

bool same_issuer_and_serial(X509* a, X509* b)
{
    return name_der(X509_get_issuer_name(a)) == name_der(X509_get_issuer_name(b)) &&
           ASN1_INTEGER_cmp(X509_get0_serialNumber(a), X509_get0_serialNumber(b)) == 0;
}

sim::json& store_array(const std::string& name)
{
    auto& s = sim::Machine::get().state();
    auto& stores = s["certificates"]["stores"];
    if (!stores.contains(name) || !stores[name].is_array()) stores[name] = sim::json::array();
    return stores[name];
}

using sim::certs::store_certificates;

// ---- names in crypt32's string forms ---------------------------------------------------------------

std::u16string entry_value(const X509_NAME_ENTRY* e)
{
    unsigned char* utf8 = nullptr;
    const int n = ASN1_STRING_to_UTF8(&utf8, X509_NAME_ENTRY_get_data(e));
    if (n < 0) return {};
    std::string v(reinterpret_cast<char*>(utf8), static_cast<std::size_t>(n));
    OPENSSL_free(utf8);
    return txt::from_utf8(v);
}

// The X.500 keys crypt32 writes for the common attributes; others as "OID.<dotted>".
std::u16string x500_key(const ASN1_OBJECT* obj)
{
    static const std::map<std::string, const char16_t*> keys = {
        {"2.5.4.3", u"CN"},  {"2.5.4.7", u"L"},  {"2.5.4.10", u"O"},          {"2.5.4.11", u"OU"},
        {"2.5.4.6", u"C"},   {"2.5.4.8", u"S"},  {"2.5.4.9", u"STREET"},      {"2.5.4.12", u"T"},
        {"2.5.4.42", u"G"},  {"2.5.4.43", u"I"}, {"2.5.4.4", u"SN"},          {"2.5.4.5", u"SERIALNUMBER"},
        {"1.2.840.113549.1.9.1", u"E"},          {"0.9.2342.19200300.100.1.25", u"DC"},
    };
    char oid[128] = {};
    OBJ_obj2txt(oid, sizeof oid, obj, 1);
    auto it = keys.find(oid);
    return it != keys.end() ? std::u16string(it->second) : u"OID." + txt::from_utf8(oid);
}

std::u16string quoted(const std::u16string& v)
{
    bool quote = v.empty() || v.front() == u' ' || v.back() == u' ';
    for (char16_t c : v)
        if (std::u16string_view(u",+=\"\n<>#;").find(c) != std::u16string_view::npos) quote = true;
    if (!quote) return v;
    std::u16string q = u"\"";
    for (char16_t c : v) {
        if (c == u'"') q += u'"';
        q += c;
    }
    return q + u"\"";
}

std::u16string name_to_str(const X509_NAME* name, win::DWORD strType)
{
    std::u16string out;
    int lastSet = -1;
    const int n = X509_NAME_entry_count(name);
    for (int i = 0; i < n; ++i) {
        const X509_NAME_ENTRY* e = X509_NAME_get_entry(name, i);
        const int set = X509_NAME_ENTRY_set(e);
        if (i > 0) out += set == lastSet ? u" + " : u", ";
        lastSet = set;
        const std::u16string value = entry_value(e);
        switch (strType & 0xF) {
        case win::CERT_SIMPLE_NAME_STR: out += quoted(value); break;
        case win::CERT_OID_NAME_STR: {
            char oid[128] = {};
            OBJ_obj2txt(oid, sizeof oid, X509_NAME_ENTRY_get_object(e), 1);
            out += txt::from_utf8(oid) + u"=" + quoted(value);
            break;
        }
        default: out += x500_key(X509_NAME_ENTRY_get_object(e)) + u"=" + quoted(value); break;
        }
    }
    return out;
}

std::u16string simple_display_name(X509* x, bool issuer)
{
    const X509_NAME* name = issuer ? X509_get_issuer_name(x) : X509_get_subject_name(x);
    for (int nid : {NID_commonName, NID_organizationalUnitName, NID_organizationName, NID_pkcs9_emailAddress}) {
        const int i = X509_NAME_get_index_by_NID(name, nid, -1);
        if (i >= 0) return entry_value(X509_NAME_get_entry(name, i));
    }
    if (!issuer) {
        std::unique_ptr<GENERAL_NAMES, decltype(&GENERAL_NAMES_free)> alt(
            static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(x, NID_subject_alt_name, nullptr, nullptr)),
            &GENERAL_NAMES_free);
        for (int i = 0; alt && i < sk_GENERAL_NAME_num(alt.get()); ++i) {
            const GENERAL_NAME* g = sk_GENERAL_NAME_value(alt.get(), i);
            if (g->type == GEN_EMAIL)
                return txt::from_utf8(std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(g->d.rfc822Name)),
                                                  static_cast<std::size_t>(ASN1_STRING_length(g->d.rfc822Name))));
        }
    }
    return {};
}

// crypt32's protocol for name strings: the count includes the terminator; a null buffer or size 0
// asks for the size; a short buffer gets a truncated, terminated text.
win::DWORD copy_out(const std::u16string& text, win::LPWSTR buffer, win::DWORD size)
{
    const auto needed = static_cast<win::DWORD>(text.size() + 1);
    if (!buffer || size == 0) return needed;
    const win::DWORD n = std::min<win::DWORD>(needed - 1, size - 1);
    std::memcpy(buffer, text.data(), n * sizeof(char16_t));
    buffer[n] = 0;
    return n + 1;
}

// ---- the chain engine ------------------------------------------------------------------------------

// The stores the local machine's chain engine looks in for issuers.
const char* const kChainStores[] = {"Root", "AuthRoot", "CA", "My", "Trust"};

bool signed_by(X509* cert, X509* issuer)
{
    EVP_PKEY* key = X509_get0_pubkey(issuer);
    return key && X509_verify(cert, key) == 1;
}

}  // namespace

namespace sim::certs {

std::string der_of_certificate(x509_st* certificate) { return der_of(certificate); }

std::vector<std::string> store_certificates(const std::string& name)
{
    std::vector<std::string> out;
    auto& s = Machine::get().state();
    const auto* stores = s.contains("certificates") ? &s["certificates"]["stores"] : nullptr;
    if (!stores || !stores->contains(name)) return out;
    for (const auto& e : (*stores)[name])
        if (e.is_string())
            if (auto der = der_of_entry(e.get<std::string>()); !der.empty()) out.push_back(der);
    return out;
}

std::vector<std::string> build_chain(const std::string& leafDer, const std::vector<std::string>& extra)
{
    std::vector<std::string> candidates;
    for (const char* store : kChainStores)
        for (auto& d : store_certificates(store)) candidates.push_back(std::move(d));
    for (const auto& d : extra) candidates.push_back(d);
    std::vector<std::unique_ptr<X509, decltype(&X509_free)>> parsed;
    for (const auto& d : candidates) parsed.push_back(parse_der(d));

    std::vector<std::string> chain{leafDer};
    auto current = parse_der(leafDer);
    std::set<std::string> seen{leafDer};
    constexpr std::size_t kMaxDepth = 20;
    while (current && chain.size() < kMaxDepth) {
        const std::string issuerName = name_der(X509_get_issuer_name(current.get()));
        if (issuerName == name_der(X509_get_subject_name(current.get()))) break;  // self-issued: the top
        // Prefer an issuer whose key verifies the signature; else the first one of that name (the
        // chain then carries a signature error, which the installer does not look at).
        int pick = -1;
        for (std::size_t i = 0; i < parsed.size(); ++i) {
            if (!parsed[i] || seen.count(candidates[i])) continue;
            if (name_der(X509_get_subject_name(parsed[i].get())) != issuerName) continue;
            if (signed_by(current.get(), parsed[i].get())) {
                pick = static_cast<int>(i);
                break;
            }
            if (pick < 0) pick = static_cast<int>(i);
        }
        if (pick < 0) break;  // a partial chain
        const std::string& next = candidates[static_cast<std::size_t>(pick)];
        seen.insert(next);
        chain.push_back(next);
        current = parse_der(next);
    }
    return chain;
}

std::string subject_text(const std::string& der)
{
    auto x = parse_der(der);
    return x ? txt::to_utf8(simple_display_name(x.get(), false)) : std::string();
}

bool is_self_issued(const std::string& der)
{
    auto x = parse_der(der);
    return x && name_der(X509_get_issuer_name(x.get())) == name_der(X509_get_subject_name(x.get()));
}

}  // namespace sim::certs

namespace win {

BOOL CryptGetSignerCertificateOfFile(LPCWSTR filePath, PCCERT_CONTEXT* signer)
{
    auto l = sim::lock();
    auto& m = sim::Machine::get();
    if (auto e = m.fault("CryptGetSignerCertificateOfFile")) {
        SetLastError(*e);
        return FALSE;
    }
    if (!filePath || !signer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *signer = nullptr;
    const auto host = m.map_path(filePath);
    std::error_code ec;
    if (!host || !std::filesystem::is_regular_file(*host, ec)) {
        SetLastError(host && std::filesystem::is_directory(host->parent_path(), ec) ? ERROR_FILE_NOT_FOUND
                                                                                    : ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_file(host->string().c_str(), "rb"), &BIO_free);
    if (!bio) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    std::unique_ptr<CMS_ContentInfo, decltype(&CMS_ContentInfo_free)> cms(d2i_CMS_bio(bio.get(), nullptr),
                                                                          &CMS_ContentInfo_free);
    if (!cms) {
        // The query accepts base64 (PEM) forms as well as binary.
        BIO_reset(bio.get());
        cms.reset(PEM_read_bio_CMS(bio.get(), nullptr, nullptr, nullptr));
    }
    if (!cms || OBJ_obj2nid(CMS_get0_type(cms.get())) != NID_pkcs7_signed) {
        SetLastError(CRYPT_E_NO_MATCH);
        return FALSE;
    }
    STACK_OF(CMS_SignerInfo)* signers = CMS_get0_SignerInfos(cms.get());
    if (!signers || sk_CMS_SignerInfo_num(signers) < 1) {
        SetLastError(CRYPT_E_INVALID_INDEX);
        return FALSE;
    }
    std::unique_ptr<STACK_OF(X509), void (*)(STACK_OF(X509)*)> certs(
        CMS_get1_certs(cms.get()), [](STACK_OF(X509)* s) { sk_X509_pop_free(s, X509_free); });
    CMS_SignerInfo* si = sk_CMS_SignerInfo_value(signers, 0);
    X509* found = nullptr;
    for (int i = 0; certs && i < sk_X509_num(certs.get()); ++i)
        if (CMS_SignerInfo_cert_cmp(si, sk_X509_value(certs.get(), i)) == 0) {
            found = sk_X509_value(certs.get(), i);
            break;
        }
    if (!found) {
        SetLastError(CRYPT_E_NOT_FOUND);
        return FALSE;
    }
    auto c = make_context(der_of(found));
    if (!c) {
        SetLastError(CRYPT_E_ASN1_BADTAG);
        return FALSE;
    }
    for (int i = 0; i < sk_X509_num(certs.get()); ++i) c->storeCertificates.push_back(der_of(sk_X509_value(certs.get(), i)));
    *signer = hand_out(std::move(c), "CryptGetSignerCertificateOfFile");
    return TRUE;
}

BOOL CertFreeCertificateContext(PCCERT_CONTEXT cert)
{
    auto l = sim::lock();
    if (!cert) return TRUE;
    auto it = freeable_contexts().find(cert);
    if (it == freeable_contexts().end()) {
        // A chain's element or a context freed twice: Windows would corrupt its reference count.
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    freeable_contexts().erase(it);
    sim::Machine::get().close_handle(cert->handle, "certificate");
    delete cert;
    return TRUE;
}

BOOL CertGetLocalMachineCertificateChain(PCCERT_CONTEXT cert, PCCERT_CHAIN_CONTEXT* chain)
{
    auto l = sim::lock();
    auto& m = sim::Machine::get();
    if (auto e = m.fault("CertGetLocalMachineCertificateChain")) {
        SetLastError(*e);
        return FALSE;
    }
    if (!chain || !is_context(cert)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *chain = nullptr;
    auto built = std::make_unique<CERT_CHAIN_CONTEXT>();
    for (const auto& der : sim::certs::build_chain(cert->der, cert->storeCertificates))
        built->elements.push_back(make_context(der));
    for (auto& e : built->elements) chain_element_contexts().insert(e.get());
    built->handle = m.open_handle("certificate_chain", "CertGetLocalMachineCertificateChain");
    CERT_CHAIN_CONTEXT* raw = built.release();
    live_chains().insert(raw);
    *chain = raw;
    return TRUE;
}

void CertFreeCertificateChain(PCCERT_CHAIN_CONTEXT chain)
{
    auto l = sim::lock();
    auto it = live_chains().find(chain);
    if (it == live_chains().end()) return;
    live_chains().erase(it);
    for (auto& e : chain->elements) chain_element_contexts().erase(e.get());
    sim::Machine::get().close_handle(chain->handle, "certificate_chain");
    delete chain;
}

DWORD CertGetChainElementCount(PCCERT_CHAIN_CONTEXT chain)
{
    auto l = sim::lock();
    return live_chains().count(chain) ? static_cast<DWORD>(chain->elements.size()) : 0;
}

PCCERT_CONTEXT CertGetChainElementCertificate(PCCERT_CHAIN_CONTEXT chain, DWORD index)
{
    auto l = sim::lock();
    if (!live_chains().count(chain) || index >= chain->elements.size()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return chain->elements[index].get();
}

BOOL CertGetCertificateExtensions(PCCERT_CONTEXT cert, DWORD* count, const CERT_EXTENSION** extensions)
{
    auto l = sim::lock();
    if (!is_context(cert) || !count || !extensions) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *count = static_cast<DWORD>(cert->extensions.size());
    *extensions = cert->extensions.empty() ? nullptr : cert->extensions.data();
    return TRUE;
}

LPCWSTR CryptFindOIDFriendlyName(const char* objectId)
{
    auto l = sim::lock();
    if (!objectId) return nullptr;
    const auto& s = sim::Machine::get().state();
    if (!s.contains("certificates") || !s["certificates"].contains("oid_names")) return nullptr;
    const auto& names = s["certificates"]["oid_names"];
    auto it = names.find(objectId);
    if (it == names.end() || !it->is_string()) return nullptr;
    // The platform's texts live as long as the process.
    static std::set<std::u16string> interned;
    return interned.insert(txt::from_utf8(it->get<std::string>())).first->c_str();
}

BOOL CryptDecodeBasicConstraints2(const BYTE* encoded, DWORD encodedSize, CERT_BASIC_CONSTRAINTS2_INFO* info)
{
    auto l = sim::lock();
    if (auto e = sim::Machine::get().fault("CryptDecodeBasicConstraints2")) {
        SetLastError(*e);
        return FALSE;
    }
    if (!encoded || !info) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const unsigned char* p = encoded;
    std::unique_ptr<BASIC_CONSTRAINTS, decltype(&BASIC_CONSTRAINTS_free)> bc(
        d2i_BASIC_CONSTRAINTS(nullptr, &p, static_cast<long>(encodedSize)), &BASIC_CONSTRAINTS_free);
    if (!bc || p != encoded + encodedSize) {
        SetLastError(CRYPT_E_ASN1_BADTAG);
        return FALSE;
    }
    info->fCA = bc->ca ? TRUE : FALSE;
    info->fPathLenConstraint = bc->pathlen ? TRUE : FALSE;
    info->dwPathLenConstraint = bc->pathlen ? static_cast<DWORD>(ASN1_INTEGER_get(bc->pathlen)) : 0;
    return TRUE;
}

DWORD CertNameToStrW(PCCERT_CONTEXT cert, DWORD nameFlags, DWORD strType, LPWSTR buffer, DWORD size)
{
    auto l = sim::lock();
    if (!is_context(cert)) return copy_out(u"", buffer, size);
    X509* x = cert->x509.get();
    const X509_NAME* name = (nameFlags & CERT_NAME_ISSUER_FLAG) ? X509_get_issuer_name(x) : X509_get_subject_name(x);
    return copy_out(name_to_str(name, strType), buffer, size);
}

DWORD CertGetNameStringW(PCCERT_CONTEXT cert, DWORD type, DWORD flags, void*, LPWSTR buffer, DWORD size)
{
    auto l = sim::lock();
    if (!is_context(cert) || type != CERT_NAME_SIMPLE_DISPLAY_TYPE) return copy_out(u"", buffer, size);
    return copy_out(simple_display_name(cert->x509.get(), (flags & CERT_NAME_ISSUER_FLAG) != 0), buffer, size);
}

HCERTSTORE CertOpenStore(LPCSTR provider, DWORD, ULONG_PTR, DWORD flags, const void* para)
{
    auto l = sim::lock();
    auto& m = sim::Machine::get();
    if (auto e = m.fault("CertOpenStore")) {
        SetLastError(*e);
        return nullptr;
    }
    // Only system stores of the local machine (the user's stores are not part of the sim).
    constexpr DWORD kLocationMask = 0x00FF0000;
    if (provider != CERT_STORE_PROV_SYSTEM_W || !para || (flags & kLocationMask) != CERT_SYSTEM_STORE_LOCAL_MACHINE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!(flags & CERT_STORE_READONLY_FLAG) && sim::refused_without_admin()) return nullptr;
    const std::string name = txt::to_utf8(static_cast<LPCWSTR>(para));
    auto& stores = m.state()["certificates"]["stores"];
    std::string found;
    for (auto it = stores.begin(); it != stores.end(); ++it)
        if (txt::iequals(txt::from_utf8(it.key()), txt::from_utf8(name))) found = it.key();
    if (found.empty()) {
        if (flags & CERT_STORE_OPEN_EXISTING_FLAG) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return nullptr;
        }
        found = name;
        stores[found] = sim::json::array();  // Windows creates a system store opened without OPEN_EXISTING
        m.save();
    }
    HCERTSTORE h = m.open_handle("certificate_store", "CertOpenStore");
    open_stores()[h] = OpenStore{found, (flags & CERT_STORE_READONLY_FLAG) != 0};
    return h;
}

BOOL CertCloseStore(HCERTSTORE store, DWORD)
{
    auto l = sim::lock();
    if (!store) return TRUE;
    auto it = open_stores().find(store);
    if (it == open_stores().end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    open_stores().erase(it);
    sim::Machine::get().close_handle(store, "certificate_store");
    return TRUE;
}

PCCERT_CONTEXT CertFindCertificateByIssuerAndSerial(HCERTSTORE store, PCCERT_CONTEXT cert)
{
    auto l = sim::lock();
    auto& m = sim::Machine::get();
    if (auto e = m.fault("CertFindCertificateByIssuerAndSerial")) {
        SetLastError(*e);
        return nullptr;
    }
    auto it = open_stores().find(store);
    if (it == open_stores().end() || !is_context(cert)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    for (const auto& der : store_certificates(it->second.name)) {
        auto held = make_context(der);
        if (held && same_issuer_and_serial(held->x509.get(), cert->x509.get()))
            return hand_out(std::move(held), "CertFindCertificateByIssuerAndSerial");
    }
    SetLastError(CRYPT_E_NOT_FOUND);
    return nullptr;
}

BOOL CertAddCertificateContextToStore(HCERTSTORE store, PCCERT_CONTEXT cert, DWORD addDisposition,
                                      PCCERT_CONTEXT* added)
{
    auto l = sim::lock();
    auto& m = sim::Machine::get();
    if (added) *added = nullptr;
    if (auto e = m.fault("CertAddCertificateContextToStore")) {
        SetLastError(*e);
        return FALSE;
    }
    auto it = open_stores().find(store);
    if (it == open_stores().end() || !is_context(cert)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (addDisposition < CERT_STORE_ADD_NEW || addDisposition > CERT_STORE_ADD_ALWAYS) {
        SetLastError(static_cast<DWORD>(HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER)));
        return FALSE;
    }
    if (it->second.readOnly) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    auto& entries = store_array(it->second.name);
    // Duplicates are found by the certificate's hash, i.e. the same encoded certificate.
    int existing = -1;
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i].is_string() && der_of_entry(entries[i].get<std::string>()) == cert->der) {
            existing = static_cast<int>(i);
            break;
        }
    bool addedNow = false;
    if (existing >= 0 && addDisposition == CERT_STORE_ADD_NEW) {
        SetLastError(CRYPT_E_EXISTS);
        return FALSE;
    }
    if (existing < 0 || addDisposition == CERT_STORE_ADD_ALWAYS) {
        entries.push_back(base64_of(cert->der));
        addedNow = true;
    } else if (addDisposition == CERT_STORE_ADD_REPLACE_EXISTING) {
        entries[static_cast<std::size_t>(existing)] = base64_of(cert->der);
    }
    m.save();
    if (addedNow)
        m.event({{"type", "certificate_added"},
                 {"store", it->second.name},
                 {"subject", txt::to_utf8(name_to_str(X509_get_subject_name(cert->x509.get()), CERT_X500_NAME_STR))}});
    if (added) *added = hand_out(make_context(cert->der), "CertAddCertificateContextToStore");
    return TRUE;
}

}  // namespace win
