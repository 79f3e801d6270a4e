// Between the gallery scene and its pixel work: the texel tables the drawing reads.
#pragma once

// Four-byte copies of the floor and ceiling tiles and of the wall textures (those stored
// column by column), made from the images and textures of g3dscene_init, so that a
// texel is one load at one index. Replaces any tables made before.
void g3d_texels_make(void);
void g3d_texels_free(void);
