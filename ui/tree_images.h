#pragma once
// The four pictures of the options dialog's tree: a computer and a plug
// with its cable, each plain and on the selection colour.
#include <QIcon>

enum TreeImage { kComputerImage, kComputerSelectedImage, kPlugImage,
                 kPlugSelectedImage };

QIcon DrawTreeImage(TreeImage image);
