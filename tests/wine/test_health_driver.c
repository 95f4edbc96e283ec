// SPDX-License-Identifier: MIT
/* A kernel-mode stand-in for the health driver: the device "\\.\ZolHlth"
 * answers health requests from a scripted list of replies and records what
 * it was sent. Every length that comes from user mode is checked. */
#include <ntddk.h>

#include "test_driver_protocol.h"

static struct {
    uint32_t succeed;
    uint32_t length;
    uint8_t bytes[TEST_MAX_REPLY_BYTES];
} replies[TEST_MAX_REPLIES];
static uint32_t reply_count;
static Record record;

static UNICODE_STRING device_name = RTL_CONSTANT_STRING(L"\\Device\\ZolHlth");
static UNICODE_STRING link_name = RTL_CONSTANT_STRING(L"\\DosDevices\\ZolHlth");

static NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static NTSTATUS SetScript(const uint8_t *in, ULONG in_length) {
    ScriptHeader header;
    ULONG at = sizeof(header);
    uint32_t i;
    if (in_length < sizeof(header)) return STATUS_INVALID_PARAMETER;
    RtlCopyMemory(&header, in, sizeof(header));
    if (header.reply_count > TEST_MAX_REPLIES) return STATUS_INVALID_PARAMETER;
    for (i = 0; i < header.reply_count; ++i) {
        ScriptReply reply;
        if (in_length - at < sizeof(reply)) return STATUS_INVALID_PARAMETER;
        RtlCopyMemory(&reply, in + at, sizeof(reply));
        at += sizeof(reply);
        if (reply.length > TEST_MAX_REPLY_BYTES || in_length - at < reply.length) {
            return STATUS_INVALID_PARAMETER;
        }
        replies[i].succeed = reply.succeed;
        replies[i].length = reply.length;
        RtlCopyMemory(replies[i].bytes, in + at, reply.length);
        at += reply.length;
    }
    reply_count = header.reply_count;
    RtlZeroMemory(&record, sizeof(record));
    return STATUS_SUCCESS;
}

static NTSTATUS HealthRequest(PIRP irp, uint8_t *buffer, ULONG in_length, ULONG out_length) {
    const uint32_t index = record.request_count++;
    ULONG n;
    if (index < TEST_MAX_REQUESTS) {
        RecordedRequest *r = &record.requests[index];
        RtlCopyMemory(r->bytes, buffer, in_length < 16 ? in_length : 16);
        r->in_length = in_length;
        r->out_length = out_length;
    }
    if (index >= reply_count || !replies[index].succeed) {
        return Complete(irp, STATUS_UNSUCCESSFUL, 0);
    }
    n = replies[index].length < out_length ? replies[index].length : out_length;
    RtlCopyMemory(buffer, replies[index].bytes, n);
    return Complete(irp, STATUS_SUCCESS, n);
}

static NTSTATUS DispatchDeviceControl(PDEVICE_OBJECT device, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
    const ULONG in_length = stack->Parameters.DeviceIoControl.InputBufferLength;
    const ULONG out_length = stack->Parameters.DeviceIoControl.OutputBufferLength;
    uint8_t *buffer = irp->AssociatedIrp.SystemBuffer;
    (void)device;
    if (buffer == NULL && (in_length != 0 || out_length != 0)) {
        return Complete(irp, STATUS_INVALID_PARAMETER, 0);
    }
    switch (code) {
        case TEST_HEALTH_REQUEST_CODE:
            return HealthRequest(irp, buffer, in_length, out_length);
        case TEST_SET_SCRIPT_CODE:
            return Complete(irp, SetScript(buffer, in_length), 0);
        case TEST_GET_RECORD_CODE:
            if (out_length < sizeof(record)) return Complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
            RtlCopyMemory(buffer, &record, sizeof(record));
            return Complete(irp, STATUS_SUCCESS, sizeof(record));
        default:
            ++record.unknown_code_count;
            return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
}

static NTSTATUS DispatchCreate(PDEVICE_OBJECT device, PIRP irp) {
    (void)device;
    ++record.opens;
    return Complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS DispatchClose(PDEVICE_OBJECT device, PIRP irp) {
    (void)device;
    ++record.closes;
    return Complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS DispatchCleanup(PDEVICE_OBJECT device, PIRP irp) {
    (void)device;
    return Complete(irp, STATUS_SUCCESS, 0);
}

static VOID DriverUnload(PDRIVER_OBJECT driver) {
    IoDeleteSymbolicLink(&link_name);
    if (driver->DeviceObject != NULL) IoDeleteDevice(driver->DeviceObject);
}

NTSTATUS WINAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry_path) {
    PDEVICE_OBJECT device;
    NTSTATUS status;
    (void)registry_path;
    status = IoCreateDevice(driver, 0, &device_name, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
    if (!NT_SUCCESS(status)) return status;
    status = IoCreateSymbolicLink(&link_name, &device_name);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(device);
        return status;
    }
    driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreate;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchClose;
    driver->MajorFunction[IRP_MJ_CLEANUP] = DispatchCleanup;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchDeviceControl;
    driver->DriverUnload = DriverUnload;
    return STATUS_SUCCESS;
}
