#include "support/ui/picture.h"

#include <ocidl.h>
#include <olectl.h>

#include <cstring>

int CPicture::Load(unsigned id, void*, const char* type) {
    HMODULE module = ::GetModuleHandleW(nullptr);
    const std::wstring typeName = afx::widen(type != nullptr ? type : "JPG");
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), typeName.c_str());
    if (found == nullptr)
        return IsLoaded();
    const DWORD size = ::SizeofResource(module, found);
    const void* data = ::LockResource(::LoadResource(module, found));
    if (data == nullptr || size == 0)
        return IsLoaded();
    // OleLoadPicture reads from a stream; the stream owns its copy of the bytes.
    HGLOBAL copy = ::GlobalAlloc(GMEM_MOVEABLE, size);
    if (copy == nullptr)
        return IsLoaded();
    std::memcpy(::GlobalLock(copy), data, size);
    ::GlobalUnlock(copy);
    IStream* stream = nullptr;
    if (FAILED(::CreateStreamOnHGlobal(copy, TRUE, &stream))) {
        ::GlobalFree(copy);
        return IsLoaded();
    }
    IPicture* picture = nullptr;
    const HRESULT hr = ::OleLoadPicture(stream, static_cast<LONG>(size), FALSE, IID_IPicture,
                                        reinterpret_cast<void**>(&picture));
    stream->Release();
    if (SUCCEEDED(hr) && picture != nullptr)
        m_picture.reset(picture, [](IPicture* p) { p->Release(); });
    return IsLoaded();
}

SIZE CPicture::size() const {
    SIZE pixels{0, 0};
    if (m_picture == nullptr)
        return pixels;
    OLE_XSIZE_HIMETRIC width = 0;
    OLE_YSIZE_HIMETRIC height = 0;
    m_picture->get_Width(&width);
    m_picture->get_Height(&height);
    HDC screen = ::GetDC(nullptr);
    pixels.cx = ::MulDiv(width, ::GetDeviceCaps(screen, LOGPIXELSX), 2540);
    pixels.cy = ::MulDiv(height, ::GetDeviceCaps(screen, LOGPIXELSY), 2540);
    ::ReleaseDC(nullptr, screen);
    return pixels;
}

int CPicture::Render(CDC* dc, CRect rect, const RECT*) const {
    if (dc == nullptr || m_picture == nullptr)
        return 0;
    OLE_XSIZE_HIMETRIC width = 0;
    OLE_YSIZE_HIMETRIC height = 0;
    m_picture->get_Width(&width);
    m_picture->get_Height(&height);
    // HIMETRIC runs upwards: start at the bottom edge with a negative height.
    const HRESULT hr = m_picture->Render(dc->GetSafeHdc(), rect.left, rect.top, rect.Width(),
                                         rect.Height(), 0, height, width, -height, nullptr);
    return SUCCEEDED(hr) ? 1 : 0;
}
