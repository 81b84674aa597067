#pragma once
// The text toolkit in one include.

#include "text/base64.h"
#include "text/convert.h"
#include "text/errors.h"
#include "text/fields.h"
#include "text/gbk.h"
#include "text/md5.h"
#include "text/scramble.h"
#include "text/sizetext.h"
#include "text/textfile.h"
