// The offscreen 24-bit surface: a DIB section over a packed DIB's header or
// over the kept surface's mapping, in a memory DC. Finishing copies the
// section's pixels into the block (same header, so same row layout) and
// releases everything in reverse order.
#include "render/render_target.h"

#include <cstring>
#include <utility>

#include "image/packed_dib.h"
#include "render/kept_surface.h"

RenderTarget& RenderTarget::operator=(RenderTarget&& other) noexcept
{
    if (this != &other) {
        release();
        block_ = std::move(other.block_);
        blockLock_ = std::move(other.blockLock_);
        screenDc_ = std::move(other.screenDc_);
        canvas_ = std::move(other.canvas_);
        header_ = std::exchange(other.header_, nullptr);
        pixels_ = std::exchange(other.pixels_, nullptr);
        rect_ = std::exchange(other.rect_, RECT{});
    }
    return *this;
}

void RenderTarget::release()
{
    // Whatever was drawn reaches the pixels before the section goes.
    if (canvas_) GdiFlush();
    // The pixels belong to the section (or the kept surface) and go with it.
    pixels_ = nullptr;
    header_ = nullptr;
    SetRectEmpty(&rect_);
    canvas_.reset();
    screenDc_.reset();
    blockLock_.reset();
    block_.reset();
}

RenderTarget CreateRenderTarget(int32_t width, int32_t height)
{
    RenderTarget target;
    target.screenDc_ = WindowDc::Client(nullptr);
    target.block_.reset(CreatePackedDib(width, height, nullptr, 24));
    if (!target.block_) return {};
    target.blockLock_ = LockedGlobal(target.block_.get());
    auto* header = static_cast<BITMAPINFOHEADER*>(target.blockLock_.get());
    if (!header) return {};
    target.canvas_ = DibCanvas(reinterpret_cast<const BITMAPINFO*>(header), nullptr, 0, target.screenDc_.get());
    if (!target.canvas_) return {};
    GdiFlush();
    target.header_ = header;
    target.pixels_ = static_cast<uint8_t*>(target.canvas_.bits());
    SetRect(&target.rect_, 0, 0, header->biWidth, header->biHeight);
    return target;
}

RenderTarget CreateRenderTargetOn(const KeptSurface& surface)
{
    if (!surface) return {};
    RenderTarget target;
    target.canvas_ = DibCanvas(reinterpret_cast<const BITMAPINFO*>(surface.header()), surface.mapping(),
                               KeptSurface::PixelOffset, nullptr);
    if (!target.canvas_) return {};
    GdiFlush();
    target.header_ = surface.header();
    target.pixels_ = surface.pixels();
    SetRect(&target.rect_, 0, 0, target.header_->biWidth, target.header_->biHeight);
    return target;
}

GlobalBlock FinishRenderTarget(RenderTarget&& target)
{
    GdiFlush();
    RenderTarget finished = std::move(target);
    if (!finished.block_ || !finished.pixels_) return {};
    const BITMAPINFOHEADER* h = finished.header_;
    const size_t bytes = static_cast<size_t>(h->biHeight) * DibStride(h->biWidth, h->biBitCount);
    std::memcpy(DibPixelBits(finished.header_), finished.pixels_, bytes);
    GlobalBlock block = std::move(finished.block_);
    finished.release();  // the GDI objects, the DCs and the lock, before the block leaves
    return block;
}
