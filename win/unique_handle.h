// One owner type for every Win32 handle that a single call gives back and a
// single call releases: the handle goes when its owner goes, owners move but
// never copy, and an empty owner releases nothing.
#pragma once

#include <windows.h>

// Release is a type with `static void release(Handle)`. It calls the system
// through the caller's own imports, so a test that patches a module's imports
// sees every release that module makes.
template <typename Handle, typename Release>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) : handle_(handle) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other) reset(other.release());
        return *this;
    }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

    // Gives the handle up without releasing it.
    Handle release()
    {
        Handle handle = handle_;
        handle_ = nullptr;
        return handle;
    }
    void reset(Handle handle = nullptr)
    {
        if (handle_) Release::release(handle_);
        handle_ = handle;
    }

private:
    Handle handle_ = nullptr;
};

// The same for a handle that is given back together with what it came from:
// a window's DC with its window, a selection with its DC, a lock with its
// block. Release is a type with `static void release(Source, Handle)`.
template <typename Source, typename Handle, typename Release>
class BoundHandle {
public:
    BoundHandle() = default;
    BoundHandle(Source source, Handle handle) : source_(source), handle_(handle) {}
    ~BoundHandle() { reset(); }
    BoundHandle(const BoundHandle&) = delete;
    BoundHandle& operator=(const BoundHandle&) = delete;
    BoundHandle(BoundHandle&& other) noexcept : source_(other.source_), handle_(other.handle_)
    {
        other.handle_ = nullptr;
    }
    BoundHandle& operator=(BoundHandle&& other) noexcept
    {
        if (this != &other) {
            reset();
            source_ = other.source_;
            handle_ = other.handle_;
            other.handle_ = nullptr;
        }
        return *this;
    }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    void reset()
    {
        if (handle_) Release::release(source_, handle_);
        handle_ = nullptr;
    }

private:
    Source source_ = nullptr;
    Handle handle_ = nullptr;
};
