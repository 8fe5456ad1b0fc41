// Driver-package trust on the simulated machine: the check Windows makes of a package's catalog
// against the local machine's certificate stores before the package enters the driver store, and
// the pieces of the sim's chain engine (sim_certificates.cpp) that it shares.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/win/types.h"

struct x509_st;  // OpenSSL's X509

namespace sim::certs {

// A certificate's DER bytes (empty when it cannot be encoded).
std::string der_of_certificate(x509_st* certificate);
// The certificates (DER) of a local machine system store ("Root", "CA", ...); none when it is missing.
std::vector<std::string> store_certificates(const std::string& name);
// The chain the local machine's chain engine builds for a certificate: the certificate first, then
// each issuer found in the machine's stores or among extra (the certificates a signature carries),
// up to a self-issued top or the last issuer it could find (a partial chain).
std::vector<std::string> build_chain(const std::string& leafDer, const std::vector<std::string>& extra);
// The certificate's simple display name (CN, else OU, O, ...).
std::string subject_text(const std::string& der);
bool is_self_issued(const std::string& der);

}  // namespace sim::certs

namespace sim::trust {

// Whether the call may show Windows' "Would you like to install this device software?" prompt.
enum class Prompt { Allowed, Suppressed };

// Checks the package whose INF is at infHost (a host path): its catalog (the INF's CatalogFile=,
// in the INF's folder), the catalog's signature, the signer's chain to a root in Root or AuthRoot,
// and the signer in TrustedPublisher; a publisher of unknown trust is asked about (an event,
// answered from the state's "driver_trust_answers") or, with the prompt suppressed, refused.
// A package inside the driver store passed this check when it was staged and is not checked again.
// Returns 0 when the package may be used, else the code the call fails with: a SetupAPI code
// (0xE00002xx) or a TRUST_E / CERT_E HRESULT, each a setting of the state's "trust" section.
std::uint32_t check_package(const std::filesystem::path& infHost, Prompt prompt, const char* caller);

// The HRESULT a printer-driver package function returns for a code of check_package.
win::HRESULT as_hresult(std::uint32_t code);

}  // namespace sim::trust
