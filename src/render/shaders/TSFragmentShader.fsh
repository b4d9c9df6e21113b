#version 330 core
// Output is premultiplied, blended with (ONE, ONE_MINUS_SRC_ALPHA), so the widget's own alpha
// stays opaque. Picture colours arrive premultiplied by the vertex shader; label textures are
// premultiplied already.
//
// The pictures' program is built with COLOR_ONLY defined and never samples: a software
// rasteriser runs both sides of a branch on a uniform for every fragment, and the texture's side
// was a quarter of a picture's cost there. The labels' program is built with TEXTURE_ONLY, and
// the images' (textures drawn unfaded) with IMAGE_AS_IS too: a texture fetch alone is what Mesa's
// llvmpipe copies or blends a row at a time instead of shading each fragment.
uniform float alpha;
uniform int useTexture;
uniform sampler2D labelTexture;
in vec4 vertexColor;
in vec2 vertexTextureCoord;
out vec4 outColor;

void main() {
#if defined(IMAGE_AS_IS)
    outColor = texture(labelTexture, vertexTextureCoord);
#elif defined(TEXTURE_ONLY)
    outColor = texture(labelTexture, vertexTextureCoord) * alpha;
#else
#ifndef COLOR_ONLY
    if (useTexture == 1) {
        outColor = texture(labelTexture, vertexTextureCoord) * alpha;
        return;
    }
#endif
    // The colour as a whole: llvmpipe (Mesa 22), drawing whole 64-pixel tiles of a window
    // without a depth buffer, reads one component of an input apart wrongly.
    outColor = vertexColor * alpha;
#endif
}
