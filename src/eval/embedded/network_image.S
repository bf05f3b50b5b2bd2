// The network image, assembled into the program as read-only data.
// CORVAN_NETWORK_FILE names the image file (set by the build).
        .section .rodata.corvan_network, "a", @progbits
        .balign 64
        .globl corvanNetworkImage
        .type corvanNetworkImage, @object
corvanNetworkImage:
        .incbin CORVAN_NETWORK_FILE
        .size corvanNetworkImage, . - corvanNetworkImage
        .globl corvanNetworkImageEnd
corvanNetworkImageEnd:
        .section .note.GNU-stack, "", @progbits
