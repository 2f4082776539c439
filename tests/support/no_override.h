// While a PermissionBitsApply lives, the permission bits of files and folders
// hold for this thread even when it runs as root: the capabilities that
// override them leave its effective set, and come back afterwards. So a
// read-only folder refuses writes in the tests whoever runs them.
#pragma once

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

class PermissionBitsApply {
public:
    PermissionBitsApply() {
        header_.version = _LINUX_CAPABILITY_VERSION_3;
        header_.pid = 0;
        if (syscall(SYS_capget, &header_, saved_) != 0) return;
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        reduced[0].effective &= ~(1u << CAP_DAC_OVERRIDE | 1u << CAP_DAC_READ_SEARCH | 1u << CAP_FOWNER);
        dropped_ = syscall(SYS_capset, &header_, reduced) == 0;
    }
    ~PermissionBitsApply() {
        if (dropped_) syscall(SYS_capset, &header_, saved_);
    }
    PermissionBitsApply(const PermissionBitsApply&) = delete;
    PermissionBitsApply& operator=(const PermissionBitsApply&) = delete;

private:
    __user_cap_header_struct header_{};
    __user_cap_data_struct saved_[2]{};
    bool dropped_ = false;
};
