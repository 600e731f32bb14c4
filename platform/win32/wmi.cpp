/*
 * COM start-up and the WMI calls: locator, connection, query, rows,
 * properties and variants, answered as they are.
 */
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <wbemcli.h>
#include <string.h>

#include "hl_port.h"
#include "win32_util.h"
#include "winapi.h"

/* Defined here so the DLL needs no wbemuuid import library. */
static const GUID hl_clsid_wbem_locator = {
    0x4590F811, 0x1D3A, 0x11D0, {0x89, 0x1F, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
static const IID hl_iid_wbem_locator = {
    0xDC12A687, 0x737F, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};

static_assert(sizeof(VARIANT) <= sizeof(((hl_port_variant_t *)0)->raw),
              "a VARIANT fits the port's raw storage");

static BSTR alloc_bstr(const wchar_t *s)
{
    auto alloc = HL_WIN32_FN(HL_DLL_OLEAUT32, SysAllocString);
    return alloc != NULL ? alloc(s) : NULL;
}

/* A string alloc_bstr returned means oleaut32 is loaded. */
static void free_bstr(BSTR s)
{
    if (s != NULL)
        HL_WIN32_FN(HL_DLL_OLEAUT32, SysFreeString)(s);
}

int32_t hl_port_com_init(void)
{
    auto init = HL_WIN32_FN(HL_DLL_OLE32, CoInitializeEx);
    if (init == NULL)
        return (int32_t)HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    return (int32_t)init(NULL, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
}

/* Only called after a successful hl_port_com_init, so ole32 is loaded. */
void hl_port_com_uninit(void)
{
    HL_WIN32_FN(HL_DLL_OLE32, CoUninitialize)();
}

int32_t hl_port_wmi_locator(hl_handle_t *locator)
{
    void *p = NULL;
    auto create = HL_WIN32_FN(HL_DLL_OLE32, CoCreateInstance);
    HRESULT hr = HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    if (create != NULL)
        hr = create(hl_clsid_wbem_locator, NULL, CLSCTX_INPROC_SERVER, hl_iid_wbem_locator, &p);
    *locator = p;
    return (int32_t)hr;
}

int32_t hl_port_wmi_connect(hl_handle_t locator, const char16_t *ns, int32_t flags,
                            hl_handle_t *services)
{
    IWbemServices *s = NULL;
    BSTR path = alloc_bstr(W(ns));
    if (path == NULL) {
        *services = NULL;
        return (int32_t)E_OUTOFMEMORY;
    }
    HRESULT hr =
        ((IWbemLocator *)locator)->ConnectServer(path, NULL, NULL, NULL, flags, NULL, NULL, &s);
    free_bstr(path);
    *services = s;
    return (int32_t)hr;
}

int32_t hl_port_wmi_exec(hl_handle_t services, const char16_t *query, int32_t flags,
                         hl_handle_t *enumerator)
{
    IEnumWbemClassObject *e = NULL;
    BSTR language = alloc_bstr(L"WQL");
    BSTR text = alloc_bstr(W(query));
    HRESULT hr = E_OUTOFMEMORY;
    if (language != NULL && text != NULL)
        hr = ((IWbemServices *)services)->ExecQuery(language, text, flags, NULL, &e);
    free_bstr(text);
    free_bstr(language);
    *enumerator = e;
    return (int32_t)hr;
}

int32_t hl_port_wmi_next(hl_handle_t enumerator, int32_t timeout_ms, hl_handle_t *row,
                         uint32_t *returned)
{
    IWbemClassObject *object = NULL;
    ULONG n = 0;
    HRESULT hr = ((IEnumWbemClassObject *)enumerator)->Next(timeout_ms, 1, &object, &n);
    *row = object;
    *returned = n;
    return (int32_t)hr;
}

void hl_port_com_release(hl_handle_t object)
{
    ((IUnknown *)object)->Release();
}

int32_t hl_port_wmi_get(hl_handle_t row, const char16_t *name, hl_port_variant_t *v)
{
    VARIANT var;
    memset(&var, 0, sizeof var); /* VT_EMPTY, as VariantInit leaves it */
    HRESULT hr = ((IWbemClassObject *)row)->Get(W(name), 0, &var, NULL, NULL);
    memset(v, 0, sizeof *v);
    memcpy(v->raw, &var, sizeof var);
    v->vt = var.vt;
    switch (var.vt) {
    case VT_I2:
        v->num = var.iVal;
        break;
    case VT_I4:
        v->num = var.lVal;
        break;
    case VT_I8:
        v->num = var.llVal;
        break;
    case VT_UI1:
        v->num = var.bVal;
        break;
    case VT_UI2:
        v->num = var.uiVal;
        break;
    case VT_UI4:
        v->num = var.ulVal;
        break;
    case VT_UI8:
        v->num = (int64_t)var.ullVal;
        break;
    case VT_BOOL:
        v->num = (uint16_t)var.boolVal;
        break;
    case VT_BSTR:
        v->str = (const char16_t *)var.bstrVal;
        break;
    default:
        break;
    }
    return (int32_t)hr;
}

int32_t hl_port_variant_clear(hl_port_variant_t *v)
{
    VARIANT var;
    memcpy(&var, v->raw, sizeof var);
    auto clear = HL_WIN32_FN(HL_DLL_OLEAUT32, VariantClear);
    HRESULT hr = clear != NULL ? clear(&var) : HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    memcpy(v->raw, &var, sizeof var);
    v->vt = var.vt;
    v->num = 0;
    v->str = NULL;
    return (int32_t)hr;
}
