"""Limits for the child interpreters of the robustness tests."""

import os
import resource
import tempfile

ADDRESS_SPACE_LIMIT = 4 << 30


def under_address_sanitizer():
    return "libasan" in os.environ.get("LD_PRELOAD", "")


def limit_address_space():
    """A request for gigabytes then fails with MemoryError instead of taking the
    machine. Not under AddressSanitizer, which reserves terabytes of address
    space for itself (its own limit comes through ASAN_OPTIONS from the test)."""
    if not under_address_sanitizer():
        resource.setrlimit(resource.RLIMIT_AS, (ADDRESS_SPACE_LIMIT, ADDRESS_SPACE_LIMIT))


def scratch_folder(prefix):
    """A new folder for documents; every save syncs its file to disk, which costs
    nothing on a memory file system."""
    shared_memory = "/dev/shm"
    return tempfile.mkdtemp(prefix=prefix,
                            dir=shared_memory if os.access(shared_memory, os.W_OK) else None)
