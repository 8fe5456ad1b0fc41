// Win32 backend of the certificate functions: crypt32. Every message, store, context and chain
// this file opens is released on every path; the last error a caller reads is saved first.
#include "platform/win32api.h"

#include <windows.h>

#include <wincrypt.h>

#include <cstddef>
#include <vector>

namespace win {

static_assert(sizeof(CERT_EXTENSION) == sizeof(::CERT_EXTENSION));
static_assert(offsetof(CERT_EXTENSION, pszObjId) == offsetof(::CERT_EXTENSION, pszObjId));
static_assert(offsetof(CERT_EXTENSION, fCritical) == offsetof(::CERT_EXTENSION, fCritical));
static_assert(offsetof(CERT_EXTENSION, Value) == offsetof(::CERT_EXTENSION, Value));
static_assert(sizeof(CRYPT_OBJID_BLOB) == sizeof(::CRYPT_OBJID_BLOB));
static_assert(offsetof(CRYPT_OBJID_BLOB, pbData) == offsetof(::CRYPT_OBJID_BLOB, pbData));
static_assert(sizeof(CERT_BASIC_CONSTRAINTS2_INFO) == sizeof(::CERT_BASIC_CONSTRAINTS2_INFO));
static_assert(offsetof(CERT_BASIC_CONSTRAINTS2_INFO, fPathLenConstraint) ==
              offsetof(::CERT_BASIC_CONSTRAINTS2_INFO, fPathLenConstraint));
static_assert(offsetof(CERT_BASIC_CONSTRAINTS2_INFO, dwPathLenConstraint) ==
              offsetof(::CERT_BASIC_CONSTRAINTS2_INFO, dwPathLenConstraint));

namespace {

constexpr ::DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

::PCCERT_CONTEXT sdk(PCCERT_CONTEXT c) { return reinterpret_cast<::PCCERT_CONTEXT>(c); }
PCCERT_CONTEXT ours(::PCCERT_CONTEXT c) { return reinterpret_cast<PCCERT_CONTEXT>(c); }
::PCCERT_CHAIN_CONTEXT sdk(PCCERT_CHAIN_CONTEXT c) { return reinterpret_cast<::PCCERT_CHAIN_CONTEXT>(c); }

// Releases what CryptQueryObject handed out, keeping the caller's last error.
struct QueryResult {
    ::HCERTSTORE store = nullptr;
    ::HCRYPTMSG message = nullptr;
    ~QueryResult()
    {
        const ::DWORD saved = ::GetLastError();
        if (message) ::CryptMsgClose(message);
        // Contexts found in the store keep it alive after this close.
        if (store) ::CertCloseStore(store, 0);
        ::SetLastError(saved);
    }
};

}  // namespace

BOOL CryptGetSignerCertificateOfFile(LPCWSTR filePath, PCCERT_CONTEXT* signer)
{
    if (!filePath || !signer) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *signer = nullptr;
    QueryResult q;
    ::DWORD encoding = 0, content = 0, format = 0;
    if (!::CryptQueryObject(CERT_QUERY_OBJECT_FILE, reinterpret_cast<const wchar_t*>(filePath),
                            CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED | CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                            CERT_QUERY_FORMAT_FLAG_ALL, 0, &encoding, &content, &format, &q.store, &q.message,
                            nullptr))
        return FALSE;
    // The signer's issuer and serial number (a CERT_INFO with only those filled), size first.
    ::DWORD size = 0;
    if (!::CryptMsgGetParam(q.message, CMSG_SIGNER_CERT_INFO_PARAM, 0, nullptr, &size)) return FALSE;
    std::vector<::BYTE> info(size);
    if (!::CryptMsgGetParam(q.message, CMSG_SIGNER_CERT_INFO_PARAM, 0, info.data(), &size)) return FALSE;
    ::PCCERT_CONTEXT found = ::CertFindCertificateInStore(q.store, kEncoding, 0, CERT_FIND_SUBJECT_CERT,
                                                          reinterpret_cast<::PCERT_INFO>(info.data()), nullptr);
    if (!found) return FALSE;
    *signer = ours(found);
    return TRUE;
}

BOOL CertFreeCertificateContext(PCCERT_CONTEXT cert) { return ::CertFreeCertificateContext(sdk(cert)); }

BOOL CertGetLocalMachineCertificateChain(PCCERT_CONTEXT cert, PCCERT_CHAIN_CONTEXT* chain)
{
    if (!cert || !chain) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *chain = nullptr;
    ::CERT_CHAIN_PARA para{};
    para.cbSize = sizeof para;
    // The store of the context (for a signer: the certificates of the signature) is searched too.
    ::PCCERT_CHAIN_CONTEXT built = nullptr;
    if (!::CertGetCertificateChain(HCCE_LOCAL_MACHINE, sdk(cert), nullptr, sdk(cert)->hCertStore, &para, 0, nullptr,
                                   &built))
        return FALSE;
    *chain = reinterpret_cast<PCCERT_CHAIN_CONTEXT>(built);
    return TRUE;
}

void CertFreeCertificateChain(PCCERT_CHAIN_CONTEXT chain)
{
    if (chain) ::CertFreeCertificateChain(sdk(chain));
}

DWORD CertGetChainElementCount(PCCERT_CHAIN_CONTEXT chain)
{
    if (!chain || sdk(chain)->cChain == 0) return 0;
    return sdk(chain)->rgpChain[0]->cElement;
}

PCCERT_CONTEXT CertGetChainElementCertificate(PCCERT_CHAIN_CONTEXT chain, DWORD index)
{
    if (index >= CertGetChainElementCount(chain)) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return ours(sdk(chain)->rgpChain[0]->rgpElement[index]->pCertContext);
}

BOOL CertGetCertificateExtensions(PCCERT_CONTEXT cert, DWORD* count, const CERT_EXTENSION** extensions)
{
    if (!cert || !count || !extensions) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const ::CERT_INFO* info = sdk(cert)->pCertInfo;
    *count = info->cExtension;
    *extensions = reinterpret_cast<const CERT_EXTENSION*>(info->rgExtension);
    return TRUE;
}

LPCWSTR CryptFindOIDFriendlyName(const char* objectId)
{
    if (!objectId) return nullptr;
    ::PCCRYPT_OID_INFO info = ::CryptFindOIDInfo(CRYPT_OID_INFO_OID_KEY, const_cast<char*>(objectId), 0);
    return info ? reinterpret_cast<LPCWSTR>(info->pwszName) : nullptr;
}

BOOL CryptDecodeBasicConstraints2(const BYTE* encoded, DWORD encodedSize, CERT_BASIC_CONSTRAINTS2_INFO* info)
{
    if (!encoded || !info) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ::CERT_BASIC_CONSTRAINTS2_INFO decoded{};
    ::DWORD size = sizeof decoded;
    if (!::CryptDecodeObjectEx(X509_ASN_ENCODING, X509_BASIC_CONSTRAINTS2, encoded, encodedSize, 0, nullptr, &decoded,
                               &size))
        return FALSE;
    info->fCA = decoded.fCA;
    info->fPathLenConstraint = decoded.fPathLenConstraint;
    info->dwPathLenConstraint = decoded.dwPathLenConstraint;
    return TRUE;
}

DWORD CertNameToStrW(PCCERT_CONTEXT cert, DWORD nameFlags, DWORD strType, LPWSTR buffer, DWORD size)
{
    if (!cert) {
        if (buffer && size) buffer[0] = 0;
        return 1;
    }
    ::CERT_INFO* info = sdk(cert)->pCertInfo;
    ::CERT_NAME_BLOB* name = (nameFlags & CERT_NAME_ISSUER_FLAG) ? &info->Issuer : &info->Subject;
    return ::CertNameToStrW(X509_ASN_ENCODING, name, strType, reinterpret_cast<wchar_t*>(buffer), buffer ? size : 0);
}

DWORD CertGetNameStringW(PCCERT_CONTEXT cert, DWORD type, DWORD flags, void* typePara, LPWSTR buffer, DWORD size)
{
    return ::CertGetNameStringW(sdk(cert), type, flags, typePara, reinterpret_cast<wchar_t*>(buffer),
                                buffer ? size : 0);
}

HCERTSTORE CertOpenStore(LPCSTR provider, DWORD encodingType, ULONG_PTR cryptProv, DWORD flags, const void* para)
{
    return ::CertOpenStore(provider, encodingType, static_cast<::HCRYPTPROV_LEGACY>(cryptProv), flags, para);
}

BOOL CertCloseStore(HCERTSTORE store, DWORD flags) { return ::CertCloseStore(store, flags); }

PCCERT_CONTEXT CertFindCertificateByIssuerAndSerial(HCERTSTORE store, PCCERT_CONTEXT cert)
{
    if (!store || !cert) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return ours(::CertFindCertificateInStore(store, kEncoding, 0, CERT_FIND_SUBJECT_CERT, sdk(cert)->pCertInfo,
                                             nullptr));
}

BOOL CertAddCertificateContextToStore(HCERTSTORE store, PCCERT_CONTEXT cert, DWORD addDisposition,
                                      PCCERT_CONTEXT* added)
{
    ::PCCERT_CONTEXT out = nullptr;
    const ::BOOL ok = ::CertAddCertificateContextToStore(store, sdk(cert), addDisposition, added ? &out : nullptr);
    if (added) *added = ours(out);
    return ok;
}

}  // namespace win
