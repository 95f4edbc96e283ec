// SPDX-License-Identifier: MIT
/* The test health driver's own control codes, shared by the driver and the
 * end-to-end program. The device also answers the health request code as
 * the real driver does, from the replies scripted here. */
#ifndef TEST_DRIVER_PROTOCOL_H
#define TEST_DRIVER_PROTOCOL_H

#include <stdint.h>

#define TEST_HEALTH_REQUEST_CODE 0x000721E0u
/* CTL_CODE(0x8000, 0x900 / 0x901, METHOD_BUFFERED, FILE_ANY_ACCESS) */
#define TEST_SET_SCRIPT_CODE 0x80002400u
#define TEST_GET_RECORD_CODE 0x80002404u

#define TEST_MAX_REPLIES 8
#define TEST_MAX_REPLY_BYTES 1024
#define TEST_MAX_REQUESTS 8

/* TEST_SET_SCRIPT input: a ScriptHeader, then reply_count ScriptReply
 * headers, each followed by its `length` bytes. Setting a script also
 * clears the record. */
typedef struct {
    uint32_t reply_count;
} ScriptHeader;

typedef struct {
    uint32_t succeed; /* 0: the request fails in the driver */
    uint32_t length;  /* bytes that follow, at most TEST_MAX_REPLY_BYTES */
} ScriptReply;

typedef struct {
    uint8_t bytes[16]; /* the first 16 input bytes */
    uint32_t in_length;
    uint32_t out_length;
} RecordedRequest;

/* TEST_GET_RECORD output: what happened since the script was set. */
typedef struct {
    uint32_t opens;
    uint32_t closes;
    uint32_t request_count;      /* health requests, also those past TEST_MAX_REQUESTS */
    uint32_t unknown_code_count; /* control codes the device does not know */
    RecordedRequest requests[TEST_MAX_REQUESTS];
} Record;

#endif
