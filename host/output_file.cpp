// Temporary-file-and-rename output.
#include "host/output_file.h"

#include <windows.h>

#include <vector>

#include "host/interrupt.h"

namespace {

class FileSink : public ByteSink {
public:
    explicit FileSink(HANDLE file) : file_(file) {}
    bool Write(const void* data, size_t size) override
    {
        const auto* bytes = static_cast<const char*>(data);
        while (ok_ && size > 0) {
            DWORD chunk = size > (1u << 24) ? (1u << 24) : static_cast<DWORD>(size);
            DWORD written = 0;
            if (!WriteFile(file_, bytes, chunk, &written, nullptr) || written != chunk) {
                error_ = GetLastError();
                ok_ = false;
            }
            bytes += chunk;
            size -= chunk;
        }
        return ok_;
    }
    bool ok() const { return ok_; }
    DWORD error() const { return error_; }

private:
    HANDLE file_;
    bool ok_ = true;
    DWORD error_ = 0;
};

std::string TemporaryNameFor(const std::string& path)
{
    return path + ".part" + std::to_string(GetCurrentProcessId());
}

}  // namespace

std::string SystemErrorText(unsigned long code)
{
    char* text = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string result = length && text ? std::string(text, length) : std::string();
    if (text) LocalFree(text);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' ||
                               result.back() == ' ' || result.back() == '.'))
        result.pop_back();
    for (char& c : result)
        if (c == '\r' || c == '\n') c = ' ';
    if (result.empty()) result = "system error " + std::to_string(code);
    return result;
}

bool CheckOutputWritable(const std::string& path, std::string& why)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        why = "it is a folder";
        return false;
    }
    std::string probe = TemporaryNameFor(path);
    HANDLE file = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        why = SystemErrorText(GetLastError());
        return false;
    }
    CloseHandle(file);
    return true;
}

bool WriteFileAtomically(const std::string& path, const std::function<bool(ByteSink&)>& encode,
                         std::string& why)
{
    const std::string temporary = TemporaryNameFor(path);
    HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        why = SystemErrorText(GetLastError());
        return false;
    }
    FileSink sink(file);
    bool encoded = encode(sink);
    bool closed = CloseHandle(file) != 0;
    if (!encoded || !sink.ok() || !closed) {
        why = !sink.ok() ? SystemErrorText(sink.error())
                         : !encoded ? "the animation cannot be written in this format"
                                    : SystemErrorText(GetLastError());
        DeleteFileA(temporary.c_str());
        return false;
    }
    // A stop that came while the bytes were written keeps the older file.
    bool tried = false;
    DWORD error = 0;
    const bool moved = CommitUnlessInterrupted([&] {
        tried = true;
        if (MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
        error = GetLastError();
        return false;
    });
    if (!moved) {
        why = tried ? SystemErrorText(error) : "the run was interrupted";
        DeleteFileA(temporary.c_str());
        return false;
    }
    return true;
}
