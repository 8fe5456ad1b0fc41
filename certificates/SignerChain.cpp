#include "certificates/SignerChain.h"

#include <cstdio>

#include "core/Form1.h"
#include "core/WideText.h"
#include "platform/win32api.h"

namespace txr::certs {

namespace {

[[noreturn]] void ThrowLastError()
{
    throw Error(FailureText(win::GetLastError()));
}

std::u16string NameString(win::PCCERT_CONTEXT cert, win::DWORD flags)
{
    const win::DWORD size = win::CertNameToStrW(cert, flags, win::CERT_X500_NAME_STR, nullptr, 0);
    std::u16string text(size, u'\0');
    const win::DWORD written = win::CertNameToStrW(cert, flags, win::CERT_X500_NAME_STR, text.data(), size);
    text.resize(written > 0 ? written - 1 : 0);
    return text;
}

win::unique_cert_store OpenMachineStore(const char16_t* name)
{
    win::unique_cert_store store(win::CertOpenStore(win::CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                                    win::CERT_SYSTEM_STORE_LOCAL_MACHINE, name));
    if (!store) ThrowLastError();
    return store;
}

}  // namespace

std::u16string CatalogPathOf(const DriverInstallInfoStruct& record)
{
    const std::u16string_view inf = FieldText(record.InfFileName);
    if (inf.empty()) throw Error(u"The catalog path cannot be formed: the driver record names no INF file.");
    const std::u16string_view catalog = FieldText(record.CatalogFileName);
    std::u16string path(FieldText(record.InfFilePath));
    for (std::size_t pos = path.find(inf); pos != std::u16string::npos; pos = path.find(inf, pos + catalog.size()))
        path.replace(pos, inf.size(), catalog);
    return path;
}

bool FileExists(const std::u16string& path)
{
    const win::DWORD attributes = win::GetFileAttributesW(path.c_str());
    return attributes != win::INVALID_FILE_ATTRIBUTES && (attributes & win::FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::u16string FailureText(win::DWORD error)
{
    win::unique_local_text buffer;
    const win::DWORD n = win::FormatMessageW(
        win::FORMAT_MESSAGE_ALLOCATE_BUFFER | win::FORMAT_MESSAGE_FROM_SYSTEM | win::FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<win::LPWSTR>(buffer.put()), 0, nullptr);
    std::u16string text = n && buffer ? std::u16string(buffer.get(), n) : std::u16string();
    while (!text.empty() && (text.back() == u'\r' || text.back() == u'\n' || text.back() == u' ')) text.pop_back();
    if (text.empty()) {
        char code[32];
        std::snprintf(code, sizeof code, "Error 0x%08X", static_cast<unsigned>(error));
        for (const char* c = code; *c; ++c) text += static_cast<char16_t>(*c);
    }
    return text;
}

SignerChain::SignerChain(const std::u16string& signedFilePath)
{
    if (!win::CryptGetSignerCertificateOfFile(signedFilePath.c_str(), signer_.put())) ThrowLastError();
    if (!win::CertGetLocalMachineCertificateChain(signer_.get(), chain_.put())) ThrowLastError();
}

win::DWORD SignerChain::Count() const { return win::CertGetChainElementCount(chain_.get()); }

win::PCCERT_CONTEXT SignerChain::Element(win::DWORD index) const
{
    win::PCCERT_CONTEXT cert = win::CertGetChainElementCertificate(chain_.get(), index);
    if (!cert) ThrowLastError();
    return cert;
}

CertKind Classify(win::PCCERT_CONTEXT cert)
{
    win::DWORD count = 0;
    const win::CERT_EXTENSION* extensions = nullptr;
    if (!win::CertGetCertificateExtensions(cert, &count, &extensions)) ThrowLastError();
    // The friendly name is the platform's, in the language of its user interface: the identifier
    // finds the extension where the name is worded otherwise.
    const win::CERT_EXTENSION* basic = nullptr;
    for (win::DWORD i = 0; i < count && !basic; ++i) {
        const win::LPCWSTR friendly = win::CryptFindOIDFriendlyName(extensions[i].pszObjId);
        if ((friendly && std::u16string_view(friendly) == u"Basic Constraints") ||
            std::string_view(extensions[i].pszObjId) == win::szOID_BASIC_CONSTRAINTS2)
            basic = &extensions[i];
    }
    if (!basic) return CertKind::None;
    win::CERT_BASIC_CONSTRAINTS2_INFO info{};
    if (!win::CryptDecodeBasicConstraints2(basic->Value.pbData, basic->Value.cbData, &info)) ThrowLastError();
    if (!info.fCA) return CertKind::Publisher;
    if (info.fPathLenConstraint) return CertKind::Intermediate;
    return NameString(cert, 0) == NameString(cert, win::CERT_NAME_ISSUER_FLAG) ? CertKind::Root
                                                                                 : CertKind::ThirdPartyRoot;
}

std::u16string DisplayName(win::PCCERT_CONTEXT cert)
{
    const win::DWORD size = win::CertGetNameStringW(cert, win::CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, nullptr, 0);
    std::u16string text(size, u'\0');
    const win::DWORD written =
        win::CertGetNameStringW(cert, win::CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, text.data(), size);
    text.resize(written > 0 ? written - 1 : 0);
    return text;
}

MachineStores::MachineStores()
    : root_(OpenMachineStore(u"Root")),
      ca_(OpenMachineStore(u"CA")),
      authRoot_(OpenMachineStore(u"AuthRoot")),
      trustedPublisher_(OpenMachineStore(u"TrustedPublisher"))
{
}

win::HCERTSTORE MachineStores::For(CertKind kind) const
{
    switch (kind) {
    case CertKind::Root: return root_.get();
    case CertKind::ThirdPartyRoot: return authRoot_.get();
    case CertKind::Intermediate: return ca_.get();
    case CertKind::Publisher: return trustedPublisher_.get();
    case CertKind::None: break;
    }
    return nullptr;
}

const char16_t* MachineStores::NameOf(CertKind kind)
{
    switch (kind) {
    case CertKind::Root: return u"Root";
    case CertKind::ThirdPartyRoot: return u"AuthRoot";
    case CertKind::Intermediate: return u"CA";
    case CertKind::Publisher: return u"TrustedPublisher";
    case CertKind::None: break;
    }
    return u"";
}

bool StoreHolds(win::HCERTSTORE store, win::PCCERT_CONTEXT cert)
{
    win::unique_cert_context held(win::CertFindCertificateByIssuerAndSerial(store, cert));
    if (held) return true;
    if (win::GetLastError() != win::CRYPT_E_NOT_FOUND) ThrowLastError();
    return false;
}

ChainReport BuildChainReport(const std::u16string& signedFilePath, const ReportTexts& texts)
{
    ChainReport report;
    const SignerChain chain(signedFilePath);
    report.elements = static_cast<int>(chain.Count());
    const MachineStores stores;
    for (int i = report.elements - 1; i >= 0; --i) {
        win::PCCERT_CONTEXT cert = chain.Element(static_cast<win::DWORD>(i));
        const CertKind kind = Classify(cert);
        const std::u16string* label = nullptr;
        switch (kind) {
        case CertKind::Root: label = &texts.root; break;
        case CertKind::ThirdPartyRoot: label = &texts.thirdPartyRoot; break;
        case CertKind::Intermediate: label = &texts.intermediate; break;
        case CertKind::Publisher: label = &texts.publisher; break;
        case CertKind::None: continue;
        }
        const bool present = StoreHolds(stores.For(kind), cert);
        if (present) ++report.present;
        report.text += *label + DisplayName(cert) + (present ? texts.installed : texts.missing) + u"\r\n";
    }
    return report;
}

}  // namespace txr::certs
