#pragma once
/* Orvalib: path, string and system helpers behind a C ABI. */
