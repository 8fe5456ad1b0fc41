// The catalog's signer chain as both certificate operations see it: the catalog path of a driver
// record, the chain built in the local machine context, the kind of each element by its Basic
// Constraints, the machine store each kind belongs in, and whether that store holds it.
// Failures are thrown as txr::Error with the platform's own text.
#pragma once

#include <string>

#include "core/DriverRecords.h"
#include "platform/handles.h"

namespace txr::certs {

enum class CertKind { None, Root, ThirdPartyRoot, Intermediate, Publisher };

// The catalog beside the record's INF: every occurrence of InfFileName in InfFilePath replaced by
// CatalogFileName. Throws for a record without an INF file name.
std::u16string CatalogPathOf(const DriverInstallInfoStruct& record);

// Whether a file (not a folder) exists at the path.
bool FileExists(const std::u16string& path);

// The text of a Windows error code as the platform words it, without its line end.
std::u16string FailureText(win::DWORD error);

// The signer of a signed file and its chain; element 0 is the signer, the last the top.
class SignerChain {
public:
    explicit SignerChain(const std::u16string& signedFilePath);
    win::DWORD Count() const;
    win::PCCERT_CONTEXT Element(win::DWORD index) const;

private:
    win::unique_cert_context signer_;
    win::unique_cert_chain chain_;
};

// The kind of a certificate: CA flag, path length constraint and whether subject and issuer are
// the same name. None when it has no Basic Constraints extension.
CertKind Classify(win::PCCERT_CONTEXT cert);

// The subject's simple display name.
std::u16string DisplayName(win::PCCERT_CONTEXT cert);

// The four local machine stores, opened for reading and writing; closed with the object.
class MachineStores {
public:
    MachineStores();
    // The store a kind belongs in (null for CertKind::None).
    win::HCERTSTORE For(CertKind kind) const;
    static const char16_t* NameOf(CertKind kind);

private:
    win::unique_cert_store root_, ca_, authRoot_, trustedPublisher_;
};

// Whether the store holds a certificate with the cert's issuer and serial number.
bool StoreHolds(win::HCERTSTORE store, win::PCCERT_CONTEXT cert);

// The report labels in the language in use.
struct ReportTexts {
    std::u16string root, thirdPartyRoot, intermediate, publisher, installed, missing;
};

struct ChainReport {
    std::u16string text;  // one line per classified element, top of the chain first, each ending CR LF
    int elements = 0;     // n: every chain element, classified or not
    int present = 0;      // p: classified elements held by their kind's store
};

// Builds the report of a signed file's signer chain against the machine's stores.
ChainReport BuildChainReport(const std::u16string& signedFilePath, const ReportTexts& texts);

}  // namespace txr::certs
