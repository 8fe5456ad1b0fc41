// The check of a driver package's signature that the simulated machine makes where Windows makes
// it: before UploadPrinterDriverPackageW and DiInstallDriverW stage a package, and before
// InstallPrinterDriverFromPackageW installs one. Windows sorts a package into a signature category
// (signed by a trusted publisher, by a publisher of unknown trust, unsigned, ...) and lets an
// administrator install a package of unknown trust only after its "Would you like to install this
// device software?" prompt; packages without a valid signature from a trusted root are refused
// ("Signature Categories and Driver Installation", Microsoft's driver installation documentation).
// Which code each refusal carries is not documented per call: the codes are settings.
//
// State section "trust" (all optional; a missing key has its default):
//   "errors": { "no_catalog": 0xE000022F, "not_signed": 0x800B0100, "bad_signature": 0x80096010,
//               "partial_chain": 0x800B010A, "untrusted_root": 0x800B0109,
//               "prompt_suppressed": 0xE0000242, "declined": 0xE0000243 }
//   "prompt_default": "install"   the prompt's answer when no answer is queued (its default button)
// Queue "driver_trust_answers": ["install" | "dont_install", ...], taken one a prompt.
// Events: {"type":"driver_trust_prompt","text":...,"publisher":...,"inf":...,"by":...,"answer":...}
#include "platform/sim/SimTrust.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>

#include <openssl/bio.h>
#include <openssl/pem.h>  // before cms.h, which declares its PEM functions only after pem.h
#include <openssl/cms.h>
#include <openssl/objects.h>
#include <openssl/x509.h>

#include "platform/sim/SimMachine.h"
#include "platform/sim/SimSpooler.h"
#include "platform/utf.h"

namespace sim::trust {

namespace {

namespace fs = std::filesystem;

// The code a refusal carries: the state's setting, else the most likely one.
std::uint32_t refusal_code(const std::string& key)
{
    static const std::map<std::string, std::uint32_t> defaults = {
        {"no_catalog", 0xE000022Fu},         // ERROR_NO_CATALOG_FOR_OEM_INF
        {"not_signed", 0x800B0100u},         // TRUST_E_NOSIGNATURE
        {"bad_signature", 0x80096010u},      // TRUST_E_BAD_DIGEST
        {"partial_chain", 0x800B010Au},      // CERT_E_CHAINING
        {"untrusted_root", 0x800B0109u},     // CERT_E_UNTRUSTEDROOT
        {"prompt_suppressed", 0xE0000242u},  // ERROR_AUTHENTICODE_TRUST_NOT_ESTABLISHED
        {"declined", 0xE0000243u},           // ERROR_AUTHENTICODE_PUBLISHER_NOT_TRUSTED
    };
    const json& s = Machine::get().state();
    const json::json_pointer setting("/trust/errors/" + key);
    if (s.contains(setting) && s.at(setting).is_number_integer()) return static_cast<std::uint32_t>(s.at(setting).get<std::int64_t>());
    return defaults.at(key);
}

std::string trim(std::string s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
    std::size_t i = 0;
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    return s.substr(i);
}

// The catalog the INF names in [Version]: CatalogFile.NTamd64 (or .NTx86) before CatalogFile.NT
// before CatalogFile, as Windows picks the most specific one for its platform.
std::string catalog_name(const fs::path& infHost)
{
    std::ifstream in(infHost, std::ios::binary);
    const bool x64 = Machine::get().state().value("/windows/bits"_json_pointer, 64) == 64;
    const std::vector<std::string> keys = {x64 ? "CATALOGFILE.NTAMD64" : "CATALOGFILE.NTX86", "CATALOGFILE.NT",
                                           "CATALOGFILE"};
    std::map<std::string, std::string> found;
    std::string line, section;
    while (std::getline(in, line)) {
        if (auto sc = line.find(';'); sc != std::string::npos) line.erase(sc);
        line = trim(line);
        if (line.empty()) continue;
        if (line.front() == '[') {
            section = spool::upper(trim(line.substr(1, line.find(']') - 1)));
            continue;
        }
        const auto eq = line.find('=');
        if (section != "VERSION" || eq == std::string::npos) continue;
        found.emplace(spool::upper(trim(line.substr(0, eq))), trim(line.substr(eq + 1)));
    }
    for (const auto& k : keys)
        if (auto it = found.find(k); it != found.end() && !it->second.empty()) return it->second;
    return {};
}

// The file of that name in the INF's folder, compared without regard to case.
std::optional<fs::path> file_beside(const fs::path& infHost, const std::string& name)
{
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(infHost.parent_path(), ec))
        if (e.is_regular_file(ec) && spool::iequal8(e.path().filename().string(), name)) return e.path();
    return std::nullopt;
}

using Cms = std::unique_ptr<CMS_ContentInfo, decltype(&CMS_ContentInfo_free)>;

Cms read_signed_data(const fs::path& file)
{
    Cms cms(nullptr, &CMS_ContentInfo_free);
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_file(file.string().c_str(), "rb"), &BIO_free);
    if (!bio) return cms;
    cms.reset(d2i_CMS_bio(bio.get(), nullptr));
    if (!cms) {
        BIO_reset(bio.get());
        cms.reset(PEM_read_bio_CMS(bio.get(), nullptr, nullptr, nullptr));
    }
    if (cms && OBJ_obj2nid(CMS_get0_type(cms.get())) != NID_pkcs7_signed) cms.reset();
    return cms;
}

bool store_holds(const char* store, const std::string& der)
{
    const auto held = certs::store_certificates(store);
    return std::find(held.begin(), held.end(), der) != held.end();
}

// Windows' prompt for a publisher of unknown trust; true when the answer is "install".
bool ask_to_install(const std::string& publisher, const fs::path& infHost, const char* caller)
{
    auto& m = Machine::get();
    auto& s = m.state();
    std::string answer = s.value("/trust/prompt_default"_json_pointer, std::string("install"));
    if (s.contains("driver_trust_answers") && s["driver_trust_answers"].is_array() && !s["driver_trust_answers"].empty()) {
        const json next = s["driver_trust_answers"][0];
        s["driver_trust_answers"].erase(0);
        if (next.is_string()) answer = next.get<std::string>();
        m.save();
    }
    const std::string text = language() == "de" ? "Möchten Sie diese Gerätesoftware installieren?"
                                                : "Would you like to install this device software?";
    m.event({{"type", "driver_trust_prompt"},
             {"text", text},
             {"publisher", publisher},
             {"inf", infHost.filename().string()},
             {"by", caller},
             {"answer", answer}});
    std::fprintf(stderr, "[windows security] %s %s: %s\n", text.c_str(), publisher.c_str(), answer.c_str());
    return answer == "install";
}

bool inside_driver_store(const fs::path& infHost)
{
    const auto store = Machine::get().map_path(txt::from_utf8(spool::kFileRepository));
    if (!store) return false;
    const std::string s = store->lexically_normal().string(), p = infHost.lexically_normal().string();
    return p.size() > s.size() && p.compare(0, s.size(), s) == 0;
}

}  // namespace

std::uint32_t check_package(const fs::path& infHost, Prompt prompt, const char* caller)
{
    if (inside_driver_store(infHost)) return 0;
    const std::string catalog = catalog_name(infHost);
    const auto catalogHost = catalog.empty() ? std::nullopt : file_beside(infHost, catalog);
    if (!catalogHost) return refusal_code("no_catalog");

    Cms cms = read_signed_data(*catalogHost);
    STACK_OF(CMS_SignerInfo)* signers = cms ? CMS_get0_SignerInfos(cms.get()) : nullptr;
    if (!signers || sk_CMS_SignerInfo_num(signers) < 1) return refusal_code("not_signed");
    std::unique_ptr<STACK_OF(X509), void (*)(STACK_OF(X509)*)> carried(
        CMS_get1_certs(cms.get()), [](STACK_OF(X509)* st) { sk_X509_pop_free(st, X509_free); });
    CMS_SignerInfo* si = sk_CMS_SignerInfo_value(signers, 0);
    std::string signerDer;
    std::vector<std::string> extra;
    for (int i = 0; carried && i < sk_X509_num(carried.get()); ++i) {
        X509* x = sk_X509_value(carried.get(), i);
        extra.push_back(certs::der_of_certificate(x));
        if (signerDer.empty() && CMS_SignerInfo_cert_cmp(si, x) == 0) signerDer = extra.back();
    }
    if (signerDer.empty()) return refusal_code("not_signed");
    // The signature over the catalog's content; who signed it is the chain's question below.
    if (CMS_verify(cms.get(), nullptr, nullptr, nullptr, nullptr, CMS_NO_SIGNER_CERT_VERIFY | CMS_BINARY) != 1)
        return refusal_code("bad_signature");

    const auto chain = certs::build_chain(signerDer, extra);
    if (!certs::is_self_issued(chain.back())) return refusal_code("partial_chain");
    if (!store_holds("Root", chain.back()) && !store_holds("AuthRoot", chain.back()))
        return refusal_code("untrusted_root");
    if (store_holds("TrustedPublisher", signerDer)) return 0;
    if (prompt == Prompt::Suppressed) return refusal_code("prompt_suppressed");
    return ask_to_install(certs::subject_text(signerDer), infHost, caller) ? 0 : refusal_code("declined");
}

win::HRESULT as_hresult(std::uint32_t code)
{
    // HRESULT_FROM_SETUPAPI: SetupAPI's own codes go to FACILITY_SETUPAPI (15); an HRESULT stays.
    if ((code & 0xE0000000u) == 0xE0000000u) return static_cast<win::HRESULT>((code & 0xFFFFu) | 0x800F0000u);
    return win::HRESULT_FROM_WIN32(code);
}

}  // namespace sim::trust
