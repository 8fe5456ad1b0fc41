// advapi32: the security-descriptor calls the installer needs to carry a printer's permissions over
// to a re-created printer, and the standard rights that guard changing them.
#pragma once

#include "platform/win/types.h"

namespace win {

using PSECURITY_DESCRIPTOR = void*;

// Standard rights (windows.h makes WRITE_DAC and WRITE_OWNER macros, hence the suffix).
constexpr DWORD READ_CONTROL_ACCESS = 0x00020000;
constexpr DWORD WRITE_DAC_ACCESS = 0x00040000;
constexpr DWORD WRITE_OWNER_ACCESS = 0x00080000;

constexpr DWORD ERROR_INVALID_SECURITY_DESCR = 1338;

// The parts of a descriptor's header (SECURITY_DESCRIPTOR_RELATIVE: revision, a reserved byte, the
// control word, then the offsets of owner, group, SACL and DACL; 20 bytes).
constexpr BYTE SECURITY_DESCRIPTOR_REVISION = 1;
constexpr WORD SE_OWNER_DEFAULTED = 0x0001;
constexpr WORD SE_DACL_PRESENT = 0x0004;
constexpr WORD SE_SACL_PRESENT = 0x0010;
constexpr WORD SE_SELF_RELATIVE = 0x8000;
constexpr DWORD SECURITY_DESCRIPTOR_MIN_LENGTH_RELATIVE = 20;

// FALSE with ERROR_INVALID_SECURITY_DESCR when the descriptor's revision, SIDs or ACLs are not
// well formed.
BOOL IsValidSecurityDescriptor(PSECURITY_DESCRIPTOR securityDescriptor);
// The length in bytes of a valid descriptor with everything it holds (for a self-relative one: the
// bytes to copy). Undefined for an invalid descriptor: check it with IsValidSecurityDescriptor.
DWORD GetSecurityDescriptorLength(PSECURITY_DESCRIPTOR securityDescriptor);

}  // namespace win
