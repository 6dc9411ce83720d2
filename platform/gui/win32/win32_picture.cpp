#include <ocidl.h>
#include <olectl.h>

#include <cstring>

#include "platform/gui/win32/win32_peers.h"

namespace afx::win32 {

bool Picture::load(unsigned id, const char* type) {
    HMODULE module = ::GetModuleHandleW(nullptr);
    const std::wstring typeName = widen(type);
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), typeName.c_str());
    if (found == nullptr)
        return isLoaded();
    const DWORD size = ::SizeofResource(module, found);
    const void* data = ::LockResource(::LoadResource(module, found));
    if (data == nullptr || size == 0)
        return isLoaded();
    // OleLoadPicture reads from a stream; the stream owns its copy of the bytes.
    HGLOBAL copy = ::GlobalAlloc(GMEM_MOVEABLE, size);
    if (copy == nullptr)
        return isLoaded();
    std::memcpy(::GlobalLock(copy), data, size);
    ::GlobalUnlock(copy);
    IStream* stream = nullptr;
    if (FAILED(::CreateStreamOnHGlobal(copy, TRUE, &stream))) {
        ::GlobalFree(copy);
        return isLoaded();
    }
    IPicture* picture = nullptr;
    const HRESULT hr = ::OleLoadPicture(stream, static_cast<LONG>(size), FALSE, IID_IPicture,
                                        reinterpret_cast<void**>(&picture));
    stream->Release();
    if (SUCCEEDED(hr) && picture != nullptr)
        m_picture.reset(picture, [](IPicture* p) { p->Release(); });
    return isLoaded();
}

bool Picture::render(CDC& dc, const RECT& area) const {
    if (m_picture == nullptr)
        return false;
    const CRect rect(area);
    OLE_XSIZE_HIMETRIC width = 0;
    OLE_YSIZE_HIMETRIC height = 0;
    m_picture->get_Width(&width);
    m_picture->get_Height(&height);
    // HIMETRIC runs upwards: start at the bottom edge with a negative height.
    const HRESULT hr = m_picture->Render(dc.GetSafeHdc(), rect.left, rect.top, rect.Width(),
                                         rect.Height(), 0, height, width, -height, nullptr);
    return SUCCEEDED(hr);
}

}  // namespace afx::win32
