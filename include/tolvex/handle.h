/* HANDLE as the Tolvex libraries' headers declare it: an opaque pointer (a
 * thread or a port watch queue). Guarded, so that headers that declare it
 * too can be included together. */
#ifndef TOLVEX_HANDLE_H
#define TOLVEX_HANDLE_H

#ifndef TOLVEX_HANDLE_DEFINED
#define TOLVEX_HANDLE_DEFINED
typedef void* HANDLE;
#endif

#endif /* TOLVEX_HANDLE_H */
