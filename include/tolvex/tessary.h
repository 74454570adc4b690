/* Tessary: the Orlik panel's FTP client library. One connection to one
 * server at a time; remote folder operations; uploads and downloads on a
 * thread of their own with a 0-100 progress value and cancellation.
 *
 * Load it as the framework does, with dlopen (RTLD_LOCAL) and dlsym. Texts are
 * zero-terminated UTF-16; remote paths are written with backslashes. Results
 * are 1 for success and 0 for failure unless noted. */
#ifndef TOLVEX_TESSARY_H
#define TOLVEX_TESSARY_H

#include <stdint.h>
#include <uchar.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Stores the settings used by the next Connect; a null text keeps the value
 * of an earlier call, port and passive are always replaced. Returns non-zero. */
int32_t SetConnectInfo(const char16_t* server, int32_t port, const char16_t* user,
                       const char16_t* password, int32_t passive);
int32_t Connect(void);
/* Returns 1 also when nothing was open. */
int32_t DisConnect(void);
/* One level up from the remote current directory. */
int32_t SetRootDirectory(void);
int32_t SetCurrentDirectory(const char16_t* path);
/* buffer: at least 1024 units; receives the directory with backslashes. */
int32_t GetCurrentDirectory(char16_t* buffer);
int32_t CreateFolder(const char16_t* name);
int32_t DeleteFolder(const char16_t* name);
int32_t DeleteFiles(const char16_t* name);
int32_t ReName(const char16_t* existingName, const char16_t* newName);
/* Waits 500 ms, then writes the names of the remote current directory joined
 * by ':' (folders end in a backslash) into buffer, which must hold them all.
 * 0 for an empty directory, the buffer untouched. */
int32_t GetFileList(char16_t* buffer);

/* Start a transfer thread and return at once (1), or 0. Follow it with
 * GetPercentage: 0-100 while it runs, 100 done, -1 failed or cancelled. */
int32_t FileDownload(const char16_t* remotePath, const char16_t* localPath);
int32_t FileUpload(const char16_t* localPath, const char16_t* remotePath);
int32_t GetPercentage(void);
/* Asks the running transfer to stop and waits up to 2000 ms: 0 when it
 * stopped, 258 on time-out. The transfer also signals the system-wide
 * manual-reset event "UpDownLoad_Cancel_Event" when it stops on a cancel. */
int32_t FileUpNDownloadCancel(void);

#ifdef __cplusplus
}
#endif

#endif /* TOLVEX_TESSARY_H */
