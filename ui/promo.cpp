// The promotional panel's bitmap and the maker's homepage.
#include "afxwin.h"
#include "handles.h"
#include "ui/dialer_dlg.h"

#include <shellapi.h>

static const char kHomepage[] = "https://www.kelvane.example/";

void OpenHomepage()
{
    ShellExecuteA(nullptr, "open", kHomepage, nullptr, nullptr, SW_SHOWNORMAL);
}

void DrawTransparentBitmap(HDC hdc, HBITMAP hBitmap, int x, int y, COLORREF crTransparent)
{
    CMemDC source(CreateCompatibleDC(hdc));
    if (!source) return;
    CSelectObject selectSource(source.Get(), hBitmap);

    BITMAP bm;
    if (!GetObjectA(hBitmap, sizeof bm, &bm)) return;
    POINT size = {bm.bmWidth, bm.bmHeight};
    DPtoLP(source.Get(), &size, 1);

    CMemDC back(CreateCompatibleDC(hdc)), object(CreateCompatibleDC(hdc)), memory(CreateCompatibleDC(hdc)),
        save(CreateCompatibleDC(hdc));
    CGdiObject backBits(CreateBitmap(size.x, size.y, 1, 1, nullptr));
    CGdiObject objectBits(CreateBitmap(size.x, size.y, 1, 1, nullptr));
    CGdiObject memoryBits(CreateCompatibleBitmap(hdc, size.x, size.y));
    CGdiObject saveBits(CreateCompatibleBitmap(hdc, size.x, size.y));
    if (!back || !object || !memory || !save || !backBits || !objectBits || !memoryBits || !saveBits) return;
    {
        // Declared after the bitmaps, so each is deselected before it is deleted.
        CSelectObject selBack(back.Get(), backBits.Get());
        CSelectObject selObject(object.Get(), objectBits.Get());
        CSelectObject selMemory(memory.Get(), memoryBits.Get());
        CSelectObject selSave(save.Get(), saveBits.Get());

        SetMapMode(source.Get(), GetMapMode(hdc));
        BitBlt(save.Get(), 0, 0, size.x, size.y, source.Get(), 0, 0, SRCCOPY);

        COLORREF previous = SetBkColor(source.Get(), crTransparent);
        BitBlt(object.Get(), 0, 0, size.x, size.y, source.Get(), 0, 0, SRCCOPY);
        SetBkColor(source.Get(), previous);

        BitBlt(back.Get(), 0, 0, size.x, size.y, object.Get(), 0, 0, NOTSRCCOPY);
        BitBlt(memory.Get(), 0, 0, size.x, size.y, hdc, x, y, SRCCOPY);
        BitBlt(memory.Get(), 0, 0, size.x, size.y, object.Get(), 0, 0, SRCAND);
        BitBlt(source.Get(), 0, 0, size.x, size.y, back.Get(), 0, 0, SRCAND);
        BitBlt(memory.Get(), 0, 0, size.x, size.y, source.Get(), 0, 0, SRCPAINT);
        BitBlt(hdc, x, y, size.x, size.y, memory.Get(), 0, 0, SRCCOPY);
        BitBlt(source.Get(), 0, 0, size.x, size.y, save.Get(), 0, 0, SRCCOPY);
    }
}
