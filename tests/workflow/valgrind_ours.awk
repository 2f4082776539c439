# Prints the records of a valgrind memcheck log that belong to the project's
# own code (tree: the source folder, with its trailing "/"):
#
# - a memory error (invalid read, write or free, use of uninitialised
#   memory, ...) whose first frame outside the C, C++ and GLib runtime is
#   the project's;
# - a definite leak whose allocation reaches the project's code through the
#   allocators (libc, libstdc++, GLib, GObject) and at most two frames of
#   another library: an object that a library call made for the project,
#   which the project had to release. Deeper allocations are the library's
#   own state (its caches, or its own leaks), which the project cannot free.
#
# Lines without the "==pid== " prefix (generated suppressions) are skipped.

function allocator(frame) {
    return frame ~ /vgpreload_|\/libc\.so|libstdc\+\+|libglib-2\.0|libgobject-2\.0|\/usr\/include\//
}

function finish() {
    if (kind != "" && ours) printf "%s\n", record
    record = ""; kind = ""; ours = 0; library_frames = 0; decided = 0
}

!/^==[0-9]+==/ { next }
{ line = $0; sub(/^==[0-9]+== /, "", line) }
line == "" { finish(); next }
record == "" {
    if (line ~ /definitely lost/) kind = "leak"
    else if (line ~ /^(Invalid (read|write|free)|Conditional jump|Use of uninitialised|Syscall param|Mismatched free|Source and destination overlap|Argument .* of function)/) kind = "error"
}
{ record = record line "\n" }
kind != "" && !decided && line ~ /^   (at|by) / {
    if (allocator(line)) next
    if (index(line, tree)) {
        ours = 1
        decided = 1
    } else if (kind == "error" || ++library_frames > 2) {
        decided = 1
    }
}
END { finish() }
