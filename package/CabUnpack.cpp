// The native unpack steps: where the unpack folder lies, its sub-folders, writing an embedded
// archive out as a file, and expanding it with the platform's "expand" tool. Failures are shown in
// fixed English message boxes without an owner window.
#include <exception>
#include <string>

#include "core/Form1.h"
#include "core/UserPrompt.h"
#include "core/WideText.h"
#include "package/PackageLayer.h"
#include "platform/handles.h"
#include "platform/utf.h"
#include "platform/win32api.h"

namespace txr {

namespace {

constexpr std::size_t kPathBuffer = 260;
constexpr std::size_t kCommandLineBuffer = 512;
constexpr win::DWORD kExpandWaitMs = 10000;
// How long a terminated "expand" may take to go away before the step gives up on it.
constexpr win::DWORD kTerminateWaitMs = 5000;
constexpr win::UINT kTerminatedExitCode = 1;
constexpr win::DWORD kFilenameTooLong = 206;  // ERROR_FILENAME_EXCED_RANGE

void SetError(std::uint32_t* errorCode, std::uint32_t value)
{
    if (errorCode) *errorCode = value;
}

void NativeErrorBox(std::u16string_view text, const char16_t* caption)
{
    ShowMessageBox(text, caption, win::MB_OK | win::MB_ICONERROR);
}

// Appends text to a zero-terminated path buffer of kPathBuffer characters; false (buffer unchanged)
// when the result would not fit.
bool AppendPath(char16_t (&path)[kPathBuffer], std::u16string_view text)
{
    const std::u16string_view current = FieldText(path);
    if (current.size() + text.size() > kPathBuffer - 1) return false;
    return CopyToField(path, std::u16string(current) + std::u16string(text));
}

}  // namespace

std::int32_t Lib_GetCabDestinationPath(char16_t* buffer, std::int32_t capacity, std::uint32_t* errorCode)
{
    if (!buffer || capacity < static_cast<std::int32_t>(kPathBuffer)) return 0;
    char16_t folder[kPathBuffer] = {};
    win::DWORD n = win::GetEnvironmentVariableW(u"ProgramFiles(x86)", folder, kPathBuffer);
    // A value that does not fit answers its size instead of its length: as unusable as a missing one.
    if (n == 0 || n >= kPathBuffer) {
        ClearField(folder);
        n = win::GetEnvironmentVariableW(u"ProgramFiles", folder, kPathBuffer);
        if (n == 0 || n >= kPathBuffer) {
            SetError(errorCode, win::GetLastError());
            return 0;
        }
    }
    const std::u16string composed = std::u16string(FieldText(folder)) + kUnpackFolderSuffix;
    const auto cap = static_cast<std::size_t>(capacity);
    // A path that does not fit the 260-character buffers used throughout is no unpack folder.
    if (composed.size() < kPathBuffer && CopyToBuffer(buffer, cap, composed) &&
        std::u16string_view(buffer).find(kUnpackFolderSuffix) != std::u16string_view::npos) {
        SetError(errorCode, 0);
        return 1;
    }
    for (std::size_t i = 0; i < cap; ++i) buffer[i] = 0;
    return 0;
}

UnpackFolderStatus CreateCabUnpackFolder(std::int32_t kind, std::uint32_t* errorCode)
{
    char16_t path[kPathBuffer] = {};
    if (!Lib_GetCabDestinationPath(path, kPathBuffer, errorCode)) return UnpackFolderFailed;
    win::CreateDirectoryW(path, nullptr);

    std::u16string_view levels[3];
    std::size_t count = 0;
    if (kind == 0 || kind == DriverCabCommonFiles) {
        levels[count++] = u"\\Driver";
    } else if (kind == DriverCabX86Binaries || kind == DriverCabX64Binaries) {
        levels[count++] = u"\\Driver";
        levels[count++] = u"\\V3";
        levels[count++] = kind == DriverCabX86Binaries ? u"\\i386" : u"\\amd64";
    }
    for (std::size_t i = 0; i < count; ++i) {
        // A level that no longer fits is never created under a cut name.
        if (!AppendPath(path, levels[i])) {
            SetError(errorCode, kFilenameTooLong);
            return UnpackFolderFailed;
        }
        // An existing folder is fine: the result of each creation is not needed.
        win::CreateDirectoryW(path, nullptr);
    }

    const win::DWORD attributes = win::GetFileAttributesW(path);
    if (attributes != win::INVALID_FILE_ATTRIBUTES && (attributes & win::FILE_ATTRIBUTE_DIRECTORY)) {
        SetError(errorCode, 0);
        return UnpackFolderReady;
    }
    // A file where the folder should be is no folder to expand into.
    SetError(errorCode, attributes == win::INVALID_FILE_ATTRIBUTES ? win::GetLastError() : win::ERROR_DIRECTORY);
    return UnpackFolderFailed;
}

std::int32_t WriteBufferToNewFile(const char16_t* filePath, const void* bytes, std::uint32_t size)
{
    win::unique_file file(win::CreateFileW(filePath, win::GENERIC_READ | win::GENERIC_WRITE,
                                           win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, nullptr, win::CREATE_NEW,
                                           win::FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return 0;
    win::DWORD written = 0;
    const bool ok = win::WriteFile(file.get(), bytes, size, &written, nullptr) && written == size;
    return ok ? 1 : 0;
}

std::int32_t ExtractCabResourceToFile(std::uint16_t resourceId, const char16_t* filePath)
{
    // The module and the loaded resource are owned here, so they are released on every path,
    // also when an exception leaves the block.
    win::unique_module module;
    win::unique_resource loaded;
    try {
        if (!win::GetModuleHandleExW(0, nullptr, module.put()) || !module) return 0;
        win::HRSRC resource = win::FindResourceW(module.get(), win::MAKEINTRESOURCEW(resourceId), win::RT_RCDATA);
        if (!resource) return 0;
        loaded.reset(win::LoadResource(module.get(), resource));
        if (!loaded) return 0;
        const win::DWORD size = win::SizeofResource(module.get(), resource);
        if (size == 0) return 0;
        const void* bytes = win::LockResource(loaded.get());
        if (!bytes) return 0;
        // One write straight from the mapped resource, without an intermediate copy.
        return WriteBufferToNewFile(filePath, bytes, size);
    } catch (const Error& e) {
        NativeErrorBox(e.Message(), u"Printer Driver Installer- Unpack copy");
    } catch (const std::exception& e) {
        NativeErrorBox(txt::from_utf8(e.what()), u"Printer Driver Installer- Unpack copy");
    } catch (...) {
    }
    return 0;
}

namespace {

// The expansion tool by its full path in the system folder. Started by name alone, it would be
// looked for first in the installer's own folder, where a downloaded installer may lie beside an
// "expand.exe" that would then run with administrator rights. Empty when the folder is unknown.
std::u16string ExpandToolPath()
{
    char16_t folder[kPathBuffer] = {};
    const win::UINT n = win::GetSystemDirectoryW(folder, kPathBuffer);
    if (n == 0 || n >= kPathBuffer) return {};
    return std::u16string(FieldText(folder)) + u"\\expand.exe";
}

}  // namespace

std::int32_t ExpandCabFile(const char16_t* cabFilePath, const char16_t* destinationPath)
{
    const std::u16string tool = ExpandToolPath();
    // expand's documented form for a cabinet: expand source.cab -F:files destination.
    const std::u16string line =
        u"\"" + tool + u"\" \"" + cabFilePath + u"\" -F:* \"" + destinationPath + u"\"";
    // CreateProcessW may change the command line in place: it lives in a writable buffer.
    char16_t commandLine[kCommandLineBuffer] = {};
    if (line.size() > kCommandLineBuffer - 1 || !CopyToField(commandLine, line)) return 0;

    win::STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    win::unique_process_information process;
    if (tool.empty() ||
        !win::CreateProcessW(tool.c_str(), commandLine, nullptr, nullptr, win::FALSE, win::CREATE_NO_WINDOW, nullptr,
                             nullptr, &startup, process.put())) {
        NativeErrorBox(u"expand: failed", u"Printer Driver Installer");
        return 0;
    }

    const win::DWORD wait = win::WaitForSingleObject(process.process(), kExpandWaitMs);
    if (wait == win::WAIT_OBJECT_0) return 1;

    // An "expand" that is still running would go on writing into a folder the caller is about to
    // delete: end it, and wait until it has gone, before the failure is reported.
    if (win::TerminateProcess(process.process(), kTerminatedExitCode))
        win::WaitForSingleObject(process.process(), kTerminateWaitMs);
    const std::u16string response = u"Expand response: " + txt::from_utf8(std::to_string(static_cast<std::int32_t>(wait)));
    char16_t text[128] = {};
    CopyToField(text, response);
    NativeErrorBox(FieldText(text), u"Printer Driver Installer");
    return 0;
}

std::int32_t Lib_UnpackDriverCabFiles(std::uint16_t resourceId, std::int32_t kind, std::uint32_t* errorCode)
{
    try {
        if (CreateCabUnpackFolder(kind, errorCode) == UnpackFolderFailed) return 0;

        const char16_t* archiveName = u"\\Main.CAB";
        const char16_t* folderName = u"\\Driver";
        if (kind == DriverCabX86Binaries) {
            archiveName = u"\\i386.CAB";
            folderName = u"\\Driver\\V3\\i386";
        } else if (kind == DriverCabX64Binaries) {
            archiveName = u"\\amd64.CAB";
            folderName = u"\\Driver\\V3\\amd64";
        }

        char16_t base[kPathBuffer] = {};
        std::uint32_t ignored = 0;
        // The path was just computed by the folder step; should it fail now, there is no folder to
        // write into (an empty base would put the archive in the current folder).
        if (!Lib_GetCabDestinationPath(base, kPathBuffer, &ignored)) return 0;
        char16_t archivePath[kPathBuffer] = {};
        char16_t destination[kPathBuffer] = {};
        CopyToField(archivePath, FieldText(base));
        CopyToField(destination, FieldText(base));
        if (!AppendPath(archivePath, archiveName) || !AppendPath(destination, folderName)) return 0;

        if (!ExtractCabResourceToFile(resourceId, archivePath)) return 0;
        if (!ExpandCabFile(archivePath, destination)) {
            NativeErrorBox(u"Expand: 0", u"Printer Driver Installer- Unpack");
            return 0;
        }
        return 1;
    } catch (const Error& e) {
        NativeErrorBox(e.Message(), u"Printer Driver Installer- Unpack");
    } catch (const std::exception& e) {
        NativeErrorBox(txt::from_utf8(e.what()), u"Printer Driver Installer- Unpack");
    } catch (...) {
    }
    return 0;
}

}  // namespace txr
