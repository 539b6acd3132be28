// A module that holds only resources; the chain tests load it with LoadLibrary.
extern "C" __declspec(dllexport) int afx_test_resources_marker() {
    return 1;
}
