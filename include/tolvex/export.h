/* The mark of every definition a Tolvex library exports: C linkage and
 * default visibility. The libraries are built with hidden visibility and a
 * version script, so only what carries this mark and is named in the
 * library's exports.map is exported. For the libraries' own sources; not
 * installed. */
#ifndef TOLVEX_EXPORT_H
#define TOLVEX_EXPORT_H

#ifdef __cplusplus
#define TOLVEX_EXPORT extern "C" __attribute__((visibility("default")))
#else
#define TOLVEX_EXPORT __attribute__((visibility("default")))
#endif

#endif /* TOLVEX_EXPORT_H */
