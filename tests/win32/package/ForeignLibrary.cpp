// A DLL no Windows ships, for the import check's test.
__declspec(dllexport) int ForeignValue() {
    return 0;
}
