/*===- corvane/host.h - The Corvane host interface -------------------------===
 *
 * The functions a contract may import from its host, all from the module
 * "env".  Pointers and lengths are 32-bit; every pointer names bytes in the
 * contract's exported linear memory "memory".  The host runs the contract by
 * calling its export `apply`, which takes and returns nothing.
 *
 * A call is a transaction: storage changes made during a call that aborts
 * or traps are discarded.
 *
 *===----------------------------------------------------------------------===*/

#ifndef CORVANE_HOST_H
#define CORVANE_HOST_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__wasm__)
#define CORVANE_IMPORT(name) __attribute__((import_module("env"), import_name(#name)))
#else /* declarations only, for code that shares the SDK's headers natively */
#define CORVANE_IMPORT(name)
#endif

/* Call input: the bytes the caller sent with this call. */
CORVANE_IMPORT(corvane_input_size) uint32_t corvane_input_size(void);
/* Copies min(len, input size) bytes of the input to buf; returns that count. */
CORVANE_IMPORT(corvane_input_read) uint32_t corvane_input_read(void *buf, uint32_t len);

/* Call output: each write appends to what the caller receives. */
CORVANE_IMPORT(corvane_output_write) void corvane_output_write(const void *data, uint32_t len);

/* Storage: the contract's persistent key-value store; keys and values are
 * arbitrary bytes.  get copies min(buf_len, value size) bytes of the value
 * and returns the value's size, or -1 when the key is absent. */
CORVANE_IMPORT(corvane_storage_get)
int32_t corvane_storage_get(const void *key, uint32_t key_len, void *buf, uint32_t buf_len);
CORVANE_IMPORT(corvane_storage_set)
void corvane_storage_set(const void *key, uint32_t key_len, const void *value, uint32_t value_len);
CORVANE_IMPORT(corvane_storage_erase) void corvane_storage_erase(const void *key, uint32_t key_len);

/* Diagnostics and events: a log line, and a named event with a payload. */
CORVANE_IMPORT(corvane_log) void corvane_log(const char *text, uint32_t len);
CORVANE_IMPORT(corvane_emit_event)
void corvane_emit_event(const char *name, uint32_t name_len, const void *data, uint32_t data_len);

/* Ends the call with a message; never returns.  The runtime defines it: it
 * logs the output of stdout and stderr that is still unfinished, then calls
 * the host's corvane_abort. */
__attribute__((noreturn)) void corvane_abort(const char *message, uint32_t len);

/* Identity: copies min(len, size) bytes of the caller's account name to buf
 * and returns the name's size. */
CORVANE_IMPORT(corvane_caller) uint32_t corvane_caller(char *buf, uint32_t len);
/* 1 when the call carries the authorization of `account`, else 0. */
CORVANE_IMPORT(corvane_has_auth) int32_t corvane_has_auth(const char *account, uint32_t len);

/* Call context: copies min(len, size) bytes of the contract's own account
 * name to buf and returns the name's size; the height of the block the
 * call is in, and its time in seconds since 1970-01-01 UTC. */
CORVANE_IMPORT(corvane_self) uint32_t corvane_self(char *buf, uint32_t len);
CORVANE_IMPORT(corvane_block_height) uint64_t corvane_block_height(void);
CORVANE_IMPORT(corvane_block_time) uint64_t corvane_block_time(void);

/* Hashes: write the 32-byte SHA-256 or BLAKE2b-256 digest of data to out. */
CORVANE_IMPORT(corvane_sha256) void corvane_sha256(const void *data, uint32_t len, void *out);
CORVANE_IMPORT(corvane_blake2b_256)
void corvane_blake2b_256(const void *data, uint32_t len, void *out);
/* 1 when the 64-byte Ed25519 signature of message is valid under the 32-byte
 * public key, else 0. */
CORVANE_IMPORT(corvane_verify_ed25519)
int32_t corvane_verify_ed25519(const void *signature, const void *message, uint32_t len,
                               const void *public_key);

#undef CORVANE_IMPORT

#ifdef __cplusplus
}
#endif

#endif
