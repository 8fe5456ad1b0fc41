// crypt32: the signer of a signed file, chain building in the local machine context, a
// certificate's extensions and names, and the local machine's system certificate stores.
//
// crypt32's own shapes (CryptQueryObject, CERT_CONTEXT with its CERT_INFO, CERT_CHAIN_CONTEXT) are
// too deep to model faithfully, so a few operations here are narrower than crypt32 while leaving
// every choice of the installer above them: which file, which store, which names, which
// disposition. Results and last errors are crypt32's: BOOL or a pointer, with the HRESULT-style
// CRYPT_E_* codes or Win32 codes as the last error.
#pragma once

#include "platform/win/types.h"

namespace win {

// Opaque certificate and chain contexts: crypt32's own on Windows, the sim's on Linux.
struct CERT_CONTEXT;
using PCCERT_CONTEXT = const CERT_CONTEXT*;
struct CERT_CHAIN_CONTEXT;
using PCCERT_CHAIN_CONTEXT = const CERT_CHAIN_CONTEXT*;
using HCERTSTORE = void*;

constexpr DWORD X509_ASN_ENCODING = 0x00000001;
constexpr DWORD PKCS_7_ASN_ENCODING = 0x00010000;

// Last errors of the certificate functions (HRESULT values stored as the last error).
constexpr DWORD CRYPT_E_NOT_FOUND = 0x80092004u;
constexpr DWORD CRYPT_E_EXISTS = 0x80092005u;
constexpr DWORD CRYPT_E_NO_MATCH = 0x80092009u;
constexpr DWORD CRYPT_E_ASN1_BADTAG = 0x8009310Bu;
constexpr DWORD CRYPT_E_INVALID_INDEX = 0x80091008u;

// ---- signed files ------------------------------------------------------------------------------

// The certificate that signed a PKCS #7 signed file (a catalog): CryptQueryObject on the file
// (content PKCS7_SIGNED or PKCS7_SIGNED_EMBED), the first signer's issuer and serial number
// (CryptMsgGetParam CMSG_SIGNER_CERT_INFO_PARAM), found among the certificates the signature
// carries. The context keeps those certificates reachable for chain building. FALSE with
// ERROR_FILE_NOT_FOUND for a missing file, CRYPT_E_NO_MATCH for a file that is not signed,
// CRYPT_E_INVALID_INDEX without a signer, CRYPT_E_NOT_FOUND when the signer's certificate is not
// carried. Release with CertFreeCertificateContext.
BOOL CryptGetSignerCertificateOfFile(LPCWSTR filePath, PCCERT_CONTEXT* signer);

BOOL CertFreeCertificateContext(PCCERT_CONTEXT cert);

// ---- chains ------------------------------------------------------------------------------------

// Builds the chain of cert with the local machine's chain engine (HCCE_LOCAL_MACHINE), the default
// chain policy and the current time, searching the machine's stores and the certificates of the
// store the context came from (for a signer: the certificates carried in the signature). Succeeds
// for untrusted, expired or partial chains alike: only the elements are handed out. Release with
// CertFreeCertificateChain.
BOOL CertGetLocalMachineCertificateChain(PCCERT_CONTEXT cert, PCCERT_CHAIN_CONTEXT* chain);
void CertFreeCertificateChain(PCCERT_CHAIN_CONTEXT chain);
// The number of elements of the chain's first simple chain; element 0 is the certificate the chain
// was built for, the last one the top of the chain as far as it could be built.
DWORD CertGetChainElementCount(PCCERT_CHAIN_CONTEXT chain);
// An element's certificate, owned by the chain (valid until the chain is freed); NULL with
// ERROR_INVALID_PARAMETER for an index out of range.
PCCERT_CONTEXT CertGetChainElementCertificate(PCCERT_CHAIN_CONTEXT chain, DWORD index);

// ---- extensions --------------------------------------------------------------------------------

struct CRYPT_OBJID_BLOB {
    DWORD cbData;
    BYTE* pbData;
};

// crypt32's CERT_EXTENSION, field for field.
struct CERT_EXTENSION {
    char* pszObjId;  // dotted object identifier, e.g. "2.5.29.19"
    BOOL fCritical;
    CRYPT_OBJID_BLOB Value;  // the DER-encoded extension value
};

// The certificate's extensions in the certificate's own order (its CERT_INFO's rgExtension):
// owned by the context. A certificate without extensions gives count 0.
BOOL CertGetCertificateExtensions(PCCERT_CONTEXT cert, DWORD* count, const CERT_EXTENSION** extensions);

// The friendly name the platform gives an object identifier (CryptFindOIDInfo with
// CRYPT_OID_INFO_OID_KEY: pwszName), in the language of the machine's user interface; NULL for an
// identifier it does not know. The text is the platform's and lives as long as the process.
LPCWSTR CryptFindOIDFriendlyName(const char* objectId);

constexpr const char* szOID_BASIC_CONSTRAINTS2 = "2.5.29.19";

// crypt32's CERT_BASIC_CONSTRAINTS2_INFO (12 bytes).
struct CERT_BASIC_CONSTRAINTS2_INFO {
    BOOL fCA;
    BOOL fPathLenConstraint;
    DWORD dwPathLenConstraint;
};

// Decodes an encoded Basic Constraints value (CryptDecodeObjectEx with X509_BASIC_CONSTRAINTS2).
// FALSE with CRYPT_E_ASN1_BADTAG (or another CRYPT_E_ASN1_* code) when the bytes are not one.
BOOL CryptDecodeBasicConstraints2(const BYTE* encoded, DWORD encodedSize, CERT_BASIC_CONSTRAINTS2_INFO* info);

// ---- names -------------------------------------------------------------------------------------

constexpr DWORD CERT_SIMPLE_NAME_STR = 1;
constexpr DWORD CERT_OID_NAME_STR = 2;
constexpr DWORD CERT_X500_NAME_STR = 3;
constexpr DWORD CERT_NAME_ISSUER_FLAG = 0x1;
constexpr DWORD CERT_NAME_SIMPLE_DISPLAY_TYPE = 4;

// The string form of the certificate's subject, or with CERT_NAME_ISSUER_FLAG its issuer
// (CertNameToStrW on the CERT_INFO's Subject or Issuer). Returns the number of characters
// including the terminator; with a null buffer or size 0 the size needed; a too small buffer
// receives a truncated, terminated text.
DWORD CertNameToStrW(PCCERT_CONTEXT cert, DWORD nameFlags, DWORD strType, LPWSTR buffer, DWORD size);

// CertGetNameStringW for the types the installer uses (CERT_NAME_SIMPLE_DISPLAY_TYPE): the
// subject's (or issuer's) common name, else organizational unit, organization or e-mail address.
// Returns characters including the terminator, at least 1 (an empty text); with a null buffer or
// size 0 the size needed.
DWORD CertGetNameStringW(PCCERT_CONTEXT cert, DWORD type, DWORD flags, void* typePara, LPWSTR buffer, DWORD size);

// ---- stores ------------------------------------------------------------------------------------

using LPCSTR = const char*;
inline LPCSTR const CERT_STORE_PROV_SYSTEM_W = reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(10));
constexpr DWORD CERT_SYSTEM_STORE_LOCAL_MACHINE = 0x00020000;
constexpr DWORD CERT_SYSTEM_STORE_CURRENT_USER = 0x00010000;
constexpr DWORD CERT_STORE_OPEN_EXISTING_FLAG = 0x00004000;
constexpr DWORD CERT_STORE_READONLY_FLAG = 0x00008000;

// CertOpenStore. The installer opens system stores by name (para: a wide store name such as
// L"Root", L"CA", L"AuthRoot", L"TrustedPublisher"); without CERT_STORE_READONLY_FLAG the store
// is opened for reading and writing. NULL with the last error on failure (ERROR_ACCESS_DENIED
// without the rights to write the local machine's stores). Close with CertCloseStore.
HCERTSTORE CertOpenStore(LPCSTR provider, DWORD encodingType, ULONG_PTR cryptProv, DWORD flags, const void* para);
BOOL CertCloseStore(HCERTSTORE store, DWORD flags);

// A certificate of the store with the same issuer and serial number as cert
// (CertFindCertificateInStore with CERT_FIND_SUBJECT_CERT and cert's CERT_INFO). NULL with
// CRYPT_E_NOT_FOUND when the store holds none. Release the result with CertFreeCertificateContext.
PCCERT_CONTEXT CertFindCertificateByIssuerAndSerial(HCERTSTORE store, PCCERT_CONTEXT cert);

constexpr DWORD CERT_STORE_ADD_NEW = 1;
constexpr DWORD CERT_STORE_ADD_USE_EXISTING = 2;
constexpr DWORD CERT_STORE_ADD_REPLACE_EXISTING = 3;
constexpr DWORD CERT_STORE_ADD_ALWAYS = 4;

// CertAddCertificateContextToStore. With CERT_STORE_ADD_NEW an identical certificate already held
// fails with CRYPT_E_EXISTS; USE_EXISTING succeeds without adding it again. added may be NULL.
BOOL CertAddCertificateContextToStore(HCERTSTORE store, PCCERT_CONTEXT cert, DWORD addDisposition,
                                      PCCERT_CONTEXT* added);

}  // namespace win
