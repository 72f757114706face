"""Scripts that the robustness tests (test_fuzz, test_leaks, test_corrupt_documents)
run in child interpreters, and their helpers."""
