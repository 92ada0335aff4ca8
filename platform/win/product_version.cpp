#include "platform/product_version.h"

#include "platform/win/wide_path.h"

#include <cstdio>
#include <string>
#include <vector>
#include <windows.h>

namespace platform {
namespace {

std::wstring OwnExecutable() {
    std::wstring buffer(520, L'\0');
    for (;;) {
        const DWORD size =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (size == 0) {
            return std::wstring();
        }
        if (size < buffer.size()) {
            buffer.resize(size);
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::optional<QString> ProductVersionOf(const std::wstring& file) {
    if (file.empty()) {
        return std::nullopt;
    }
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(file.c_str(), &ignored);
    if (size == 0) {
        return std::nullopt;
    }
    std::vector<unsigned char> block(size + 1);
    if (!::GetFileVersionInfoW(file.c_str(), 0, size, block.data())) {
        return std::nullopt;
    }
    // The translation table: pairs of language and code page; the first names the block.
    void* table = nullptr;
    UINT tableBytes = 0;
    if (!::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &table, &tableBytes) ||
        table == nullptr || tableBytes < 2 * sizeof(WORD)) {
        return std::nullopt;
    }
    const auto* pair = static_cast<const WORD*>(table);
    wchar_t query[64];
    std::swprintf(query, sizeof query / sizeof query[0],
                  L"\\StringFileInfo\\%04x%04x\\ProductVersion", pair[0], pair[1]);
    void* text = nullptr;
    UINT characters = 0;
    if (!::VerQueryValueW(block.data(), query, &text, &characters) || text == nullptr) {
        return std::nullopt;
    }
    // The count may or may not include the terminating null; the text ends at the first one.
    const auto* value = static_cast<const wchar_t*>(text);
    UINT length = 0;
    while (length < characters && value[length] != L'\0') {
        ++length;
    }
    return QString::fromWCharArray(value, static_cast<qsizetype>(length));
}

} // namespace

std::optional<QString> ProductVersion(const QString&) {
    return ProductVersionOf(OwnExecutable());
}

std::optional<QString> ProductVersionOfFile(const QString& path) {
    return ProductVersionOf(WidePath(path));
}

} // namespace platform
