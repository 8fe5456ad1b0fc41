// The INF reader: walks the INF files of the unpacked package line by line and fills one driver
// record for one model name. It is deliberately not an INF parser: it looks for a few fixed markers
// in each line and cuts the fields out by the positions of "=", "," and double quotes, and the
// version, date, catalog and quoted name it has seen last carry over from line to line and from
// file to file. Which line wins and which values carry over follow from exactly these rules.
#include <optional>
#include <string>
#include <string_view>

#include "core/WideText.h"
#include "package/PackageLayer.h"
#include "platform/handles.h"
#include "platform/win32api.h"

namespace txr {

namespace {

constexpr std::size_t kLineRead = 1023;   // characters one read takes at most (buffer of 1024)
constexpr std::size_t kLineKept = 259;    // characters of a line that are looked at

constexpr std::u16string_view kVersionMarker = u"DriverVer=";
constexpr std::u16string_view kCatalogMarker = u"CatalogFile=";
constexpr std::u16string_view kPrinterMarker = u"USBPRINT\\";
constexpr std::u16string_view kRestMarker = u"USB\\vid_03f0&Pid_092C&mi_01";
constexpr std::u16string_view kWinUsbMarker = u"USB\\vid_03f0&Pid_092C&mi_02";
constexpr std::u16string_view kUsbPrefix = u"USB\\";

// Reads a file as text the way the C runtime's text mode does: each byte is one character and
// CR LF arrives as one line end.
class TextLineReader {
public:
    explicit TextLineReader(win::HANDLE file) : file_(file) {}

    // Up to kLineRead characters, up to and including the line end. False when nothing was left.
    bool ReadLine(std::u16string& line)
    {
        line.clear();
        while (line.size() < kLineRead) {
            const int c = Get();
            if (c < 0) break;
            line += static_cast<char16_t>(c);
            if (c == '\n') break;
        }
        return !line.empty();
    }
    bool AtEnd() { return Peek() < 0; }

private:
    int Get()
    {
        const int c = Byte();
        if (c == '\r' && Peek() == '\n') return Byte();
        return c;
    }
    int Byte()
    {
        if (!Fill()) return -1;
        return buffer_[pos_++];
    }
    int Peek() { return Fill() ? buffer_[pos_] : -1; }
    bool Fill()
    {
        if (pos_ < size_) return true;
        if (done_) return false;
        win::DWORD got = 0;
        // A read error ends the file like its end does.
        if (!win::ReadFile(file_, buffer_, sizeof buffer_, &got, nullptr) || got == 0) {
            done_ = true;
            return false;
        }
        pos_ = 0;
        size_ = got;
        return true;
    }

    win::HANDLE file_;
    unsigned char buffer_[4096] = {};
    std::size_t pos_ = 0;
    std::size_t size_ = 0;
    bool done_ = false;
};

// The values that live across all lines and all files of one scan.
struct ScanState {
    std::u16string version;
    std::u16string date;
    std::u16string catalog;
    std::u16string quotedName;
};

bool Contains(std::u16string_view line, std::u16string_view marker) { return line.find(marker) != line.npos; }

// The text after the first double quote up to the next one; nullopt when no character follows the
// first quote. Without a closing quote the name runs to the end of the line.
std::optional<std::u16string> QuotedText(std::u16string_view line)
{
    const auto open = line.find(u'"');
    if (open == line.npos || open + 1 >= line.size()) return std::nullopt;
    const auto close = line.find(u'"', open + 1);
    return std::u16string(line.substr(open + 1, close == line.npos ? line.npos : close - open - 1));
}

void ReadVersionLine(std::u16string_view line, ScanState& s)
{
    const auto comma = line.find(u',');
    if (comma != line.npos && comma + 1 < line.size()) s.version = std::u16string(line.substr(comma + 1));
    const auto eq = line.find(u'=');
    const auto start = eq + 1 < line.size() ? eq + 1 : eq;
    const auto end = line.find(u',', start);
    s.date = std::u16string(line.substr(start, end == line.npos ? line.npos : end - start));
}

struct FileRef {
    std::u16string_view name;
    std::u16string_view path;
};

// Reads one INF file; returns when it has contributed its accepted line or is at its end.
void ScanFile(win::HANDLE file, const FileRef& ref, DriverInstallInfoStruct* r, ScanState& s)
{
    const std::u16string_view model = FieldText(r->ModelName);
    TextLineReader reader(file);
    std::u16string raw;
    while (reader.ReadLine(raw)) {
        // The last character read is taken for the line end (a last line without one loses a
        // character); a line is looked at up to kLineKept characters.
        raw.pop_back();
        const std::u16string_view line = std::u16string_view(raw).substr(0, kLineKept);

        if (Contains(line, kVersionMarker)) ReadVersionLine(line, s);
        if (Contains(line, kCatalogMarker)) {
            const auto eq = line.find(u'=');
            if (eq + 1 < line.size()) s.catalog = std::u16string(line.substr(eq + 1));
        }
        if (Contains(line, kPrinterMarker)) {
            if (auto name = QuotedText(line)) s.quotedName = *name;
            const std::u16string_view hardwareId = line.substr(line.find(kPrinterMarker));
            // The model name must match the quoted name exactly, letter case included.
            if (model.empty() || model == s.quotedName) {
                CopyToField(r->DriverName, s.quotedName);
                CopyToField(r->HardwareId, hardwareId);
                CopyToField(r->DriverVersion, s.version);
                CopyToField(r->DriverDate, s.date);
                CopyToField(r->InfFileName, ref.name);
                CopyToField(r->InfFilePath, ref.path);
                CopyToField(r->CatalogFileName, s.catalog);
                return;
            }
        } else if (Contains(line, kRestMarker) || Contains(line, kWinUsbMarker)) {
            const bool rest = Contains(line, kRestMarker);
            auto& fileName = rest ? r->RestInfFileName : r->WinUsbInfFileName;
            auto& filePath = rest ? r->RestInfFilePath : r->WinUsbInfFilePath;
            auto& hardwareId = rest ? r->RestHardwareId : r->WinUsbHardwareId;
            auto& deviceName = rest ? r->RestDeviceName : r->WinUsbDeviceName;
            auto& version = rest ? r->RestDriverVersion : r->WinUsbDriverVersion;
            CopyToField(fileName, ref.name);
            CopyToField(filePath, ref.path);
            CopyToField(hardwareId, line.substr(line.find(kUsbPrefix)));
            if (auto name = QuotedText(line)) CopyToField(deviceName, *name);
            CopyToField(version, s.version);
            return;
        }
        if (reader.AtEnd()) return;
    }
}

}  // namespace

void ClearDriverInstallInfo(DriverInstallInfoStruct* r)
{
    if (!r) return;
    ClearField(r->InfFileName);
    ClearField(r->InfFilePath);
    ClearField(r->DriverName);
    ClearField(r->HardwareId);
    ClearField(r->DriverVersion);
    ClearField(r->DriverDate);
    ClearField(r->CatalogFileName);
    ClearField(r->RestInfFileName);
    ClearField(r->RestInfFilePath);
    ClearField(r->RestDeviceName);
    ClearField(r->RestHardwareId);
    ClearField(r->RestDriverVersion);
    ClearField(r->WinUsbInfFileName);
    ClearField(r->WinUsbInfFilePath);
    ClearField(r->WinUsbDeviceName);
    ClearField(r->WinUsbHardwareId);
    ClearField(r->WinUsbDriverVersion);
}

std::int32_t Lib_GetDriverInstallDetailsFromInf(DriverInstallInfoStruct* r)
{
    if (!r) return 0;
    ClearDriverInstallInfo(r);
    char16_t base[kTextField] = {};
    std::uint32_t error = 0;
    if (Lib_GetCabDestinationPath(base, kTextField, &error)) {
        const std::u16string folder = std::u16string(FieldText(base)) + u"\\Driver\\";
        const std::u16string pattern = folder + u"*.inf";
        win::WIN32_FIND_DATAW data{};
        win::unique_find search(win::FindFirstFileW(pattern.c_str(), &data));
        if (search) {
            ScanState state;
            do {
                const std::u16string name(FieldText(data.cFileName));
                const std::u16string path = folder + name;
                win::unique_file file(win::CreateFileW(path.c_str(), win::GENERIC_READ, win::FILE_SHARE_READ, nullptr,
                                                       win::OPEN_EXISTING, win::FILE_ATTRIBUTE_NORMAL, nullptr));
                if (!file) continue;
                ScanFile(file.get(), FileRef{name, path}, r, state);
            } while (win::FindNextFileW(search.get(), &data));
        }
    }
    return !FieldEmpty(r->InfFilePath) && !FieldEmpty(r->DriverName) && !FieldEmpty(r->HardwareId) ? 1 : 0;
}

}  // namespace txr
