// Linked only into the static archiver, against the libarchive release it
// was written for (see CMakeLists.txt).
//
// The pax writer calls one helper of libarchive's that lives in the same
// object file as the table of every write format. Taking the helper from
// there brings that whole table into a static link, and with it the 7-Zip,
// ZIP and XAR writers and the libraries they use (liblzma, nettle, libxml2):
// the link then leaves their code out, but not their start-up code, which
// probes the processor at every start of the archiver (a probe that a
// virtual machine traps). This is the helper, so that the table stays out.
// The archiver hands the pax writer regular files only, so it never runs.

#include <archive.h>
#include <archive_entry.h>

#include <cerrno>

#if ARCHIVE_VERSION_NUMBER < 3006000 || ARCHIVE_VERSION_NUMBER >= 3007000
#error "the pax writer's helper is written for libarchive 3.6"
#endif

extern "C" void __archive_write_entry_filetype_unsupported(struct archive* a,
                                                           struct archive_entry* entry,
                                                           const char* format) {
    archive_set_error(a, EINVAL, "%s: the %s format cannot hold a file of mode 0%o",
                      archive_entry_pathname(entry), format,
                      static_cast<unsigned>(archive_entry_mode(entry)));
}
