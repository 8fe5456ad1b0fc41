// The window layer of the unpack folder: unpacking the whole package, testing for and deleting
// the folder. A folder is only tested or deleted when its path carries the unpack folder's mark.
#include <string>

#include "core/Form1.h"
#include "package/PackageLayer.h"
#include "package/SystemMessage.h"
#include "platform/handles.h"
#include "platform/win32api.h"

namespace txr {

namespace {

bool IsMarked(const std::u16string& path)
{
    return !path.empty() && path.find(kUnpackFolderMark) != std::u16string::npos;
}

win::DWORD Attributes(const std::u16string& path) { return win::GetFileAttributesW(path.c_str()); }

bool IsFolder(win::DWORD attributes)
{
    return attributes != win::INVALID_FILE_ATTRIBUTES && (attributes & win::FILE_ATTRIBUTE_DIRECTORY);
}

// The failure of a delete step as the message the user sees: the system's text for the error,
// then the entry it concerns.
Error DeleteError(win::DWORD code, const std::u16string& path)
{
    return Error(PackageSystemMessage(code) + u" (" + path + u")");
}

void RemoveEntry(const std::u16string& path, win::DWORD attributes);

// Deletes what the folder holds, then the folder. Links (symbolic links, junctions) inside are
// removed as links: their targets lie outside the folder and are never descended into.
void RemoveFolderTree(const std::u16string& folder)
{
    {
        win::WIN32_FIND_DATAW data{};
        const std::u16string pattern = folder + u"\\*";
        win::unique_find find(win::FindFirstFileW(pattern.c_str(), &data));
        if (!find) {
            const win::DWORD e = win::GetLastError();
            if (e != win::ERROR_FILE_NOT_FOUND) throw DeleteError(e, folder);
        } else {
            do {
                const std::u16string name(data.cFileName);
                if (name == u"." || name == u"..") continue;
                RemoveEntry(folder + u"\\" + name, data.dwFileAttributes);
            } while (win::FindNextFileW(find.get(), &data));
            const win::DWORD e = win::GetLastError();
            if (e != win::ERROR_NO_MORE_FILES) throw DeleteError(e, folder);
        }
    }
    // A read-only folder cannot be removed until the mark is cleared.
    const win::DWORD a = Attributes(folder);
    if (a != win::INVALID_FILE_ATTRIBUTES && (a & win::FILE_ATTRIBUTE_READONLY))
        win::SetFileAttributesW(folder.c_str(), a & ~win::FILE_ATTRIBUTE_READONLY);
    if (!win::RemoveDirectoryW(folder.c_str())) throw DeleteError(win::GetLastError(), folder);
}

void RemoveEntry(const std::u16string& path, win::DWORD attributes)
{
    const bool isFolder = (attributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (attributes & win::FILE_ATTRIBUTE_REPARSE_POINT) {
        // A directory link goes with RemoveDirectoryW, a file link with DeleteFileW; neither
        // touches the target.
        const bool ok = isFolder ? win::RemoveDirectoryW(path.c_str()) : win::DeleteFileW(path.c_str());
        if (!ok) throw DeleteError(win::GetLastError(), path);
        return;
    }
    if (isFolder) {
        RemoveFolderTree(path);
        return;
    }
    if (attributes & win::FILE_ATTRIBUTE_READONLY)
        win::SetFileAttributesW(path.c_str(), attributes & ~win::FILE_ATTRIBUTE_READONLY);
    if (!win::DeleteFileW(path.c_str())) throw DeleteError(win::GetLastError(), path);
}

}  // namespace

std::int32_t Form1::UI_UnpackDriverPackage()
{
    return ReportFailure([&]() -> std::int32_t {
        packageUnpackError_ = 0;
        char16_t path[kTextField] = {};
        std::uint32_t error = 0;
        if (!Lib_GetCabDestinationPath(path, kTextField, &error)) {
            packageUnpackError_ = error;
            return 0;
        }
        const std::u16string folder(FieldText(path));
        if (!IsMarked(folder)) return 0;

        // A folder left from an earlier run would make the CREATE_NEW archive writes fail.
        UI_DeleteDriverUnpackFolder(folder);

        // All three, whatever the bitness of the running Windows; a failure does not stop the rest.
        int unpacked = 0;
        const struct {
            std::uint16_t resource;
            DriverCabFileType kind;
        } archives[3] = {{kCabResourceCommon, DriverCabCommonFiles},
                         {kCabResourceX86, DriverCabX86Binaries},
                         {kCabResourceX64, DriverCabX64Binaries}};
        for (const auto& archive : archives) {
            error = 0;
            if (Lib_UnpackDriverCabFiles(archive.resource, archive.kind, &error) == 1)
                ++unpacked;
            else if (packageUnpackError_ == 0)
                packageUnpackError_ = error;  // the first reason is the one to tell
        }
        if (unpacked == 3) return 1;
        UI_DeleteDriverUnpackFolder(folder);
        return 0;
    }, [this](const std::u16string& message) { ShowCaptionedError(message); });
}

std::int32_t Form1::UI_DeleteDriverUnpackFolder(const std::u16string& param_UnpackDirectoryPathStr)
{
    if (param_UnpackDirectoryPathStr.empty()) return 1;
    return ReportFailure([&]() -> std::int32_t {
        const win::DWORD a = Attributes(param_UnpackDirectoryPathStr);
        if (IsMarked(param_UnpackDirectoryPathStr) && IsFolder(a)) {
            if (a & win::FILE_ATTRIBUTE_REPARSE_POINT) {
                // The unpack folder itself is a link: remove the link, not what it points to.
                if (!win::RemoveDirectoryW(param_UnpackDirectoryPathStr.c_str()))
                    throw DeleteError(win::GetLastError(), param_UnpackDirectoryPathStr);
            } else {
                RemoveFolderTree(param_UnpackDirectoryPathStr);
            }
        }
        return IsFolder(Attributes(param_UnpackDirectoryPathStr)) ? 0 : 1;
    }, [this](const std::u16string& message) { ShowCaptionedError(message); });
}

std::int32_t Form1::UI_DriverUnpackDirExists(const std::u16string& param_UnpackDirectoryPathStr)
{
    return IsMarked(param_UnpackDirectoryPathStr) && IsFolder(Attributes(param_UnpackDirectoryPathStr)) ? 1 : 0;
}

}  // namespace txr
