// A DLL named NoxFormats.dll for the extension-folder test: the library derives that folder from
// where this DLL is loaded, so it needs no content.
extern "C" __declspec(dllexport) int noxFormatsStandIn() { return 1; }
