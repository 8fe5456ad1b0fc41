// Contract cases for the spooler, device and service functions of the seam: what Windows returns
// and which last error it sets, checked call by call. The same cases run against the simulated
// machine (GoogleTest) and against the real API under Wine (tests/wine/spooler_contract.cpp), so
// this file and its .cpp use nothing but the seam and the standard library.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32api.h"

namespace contract {

// Collects the failures of one case, each with the line of the check that failed. A case that
// cannot run on this machine (a missing prerequisite) says so with Skip and returns.
class Check {
public:
    void Fail(int line, const std::string& text);
    void Eq(int line, const char* what, unsigned long long got, unsigned long long want);
    void OneOf(int line, const char* what, unsigned long long got, std::initializer_list<unsigned long long> want);
    void True(int line, const char* what, bool value);
    void Skip(const std::string& why) { skipped_ = why; }
    // Observations a caller may assert on (which branch of a protocol the machine answered).
    void Note(const std::string& key, long long value) { notes_[key] = value; }

    const std::vector<std::string>& failures() const { return failures_; }
    const std::optional<std::string>& skipped() const { return skipped_; }
    const std::map<std::string, long long>& notes() const { return notes_; }

private:
    std::vector<std::string> failures_;
    std::optional<std::string> skipped_;
    std::map<std::string, long long> notes_;
};

#define CONTRACT_EQ(c, got, want) \
    (c).Eq(__LINE__, #got, static_cast<unsigned long long>(got), static_cast<unsigned long long>(want))
#define CONTRACT_ONE_OF(c, got, ...) (c).OneOf(__LINE__, #got, static_cast<unsigned long long>(got), {__VA_ARGS__})
#define CONTRACT_TRUE(c, cond) (c).True(__LINE__, #cond, static_cast<bool>(cond))

// A last error no call sets by itself: a check that finds it again knows the call left the last
// error alone.
constexpr win::DWORD kPoison = 0xDEADBEEFu;

struct Case {
    const char* name;
    void (*run)(Check&);
};
const std::vector<Case>& Cases();

// The size-first protocol, checked on one enumeration: an empty buffer fails with tooSmall and the
// size (or succeeds outright with size 0 when there is nothing), a buffer one byte short fails again
// with the same size, the exact size succeeds. Returns the filled buffer and the entry count, or
// nothing when a step failed.
struct Enumerated {
    std::vector<win::BYTE> buffer;
    win::DWORD count = 0;
    bool Contains(const void* p) const
    {
        const auto* b = reinterpret_cast<const win::BYTE*>(p);
        return b >= buffer.data() && b < buffer.data() + buffer.size();
    }
};
using EnumCall = std::function<win::BOOL(win::BYTE* buffer, win::DWORD cb, win::DWORD* needed, win::DWORD* returned)>;
std::optional<Enumerated> SizeFirst(Check& c, const char* what, const EnumCall& call, win::DWORD tooSmall);

}  // namespace contract
