#include "reference_model.h"

#include <cstdlib>
#include <vector>

namespace {

struct vec3 {
    long double x, y, z;
    vec3 operator-(vec3 const& o) const { return {x - o.x, y - o.y, z - o.z}; }
};

int det(vec3 a, vec3 b, vec3 c) {
    long double t1 = (a.x * b.y) * c.z;
    long double t2 = (b.x * c.y) * a.z;
    long double t3 = (c.x * a.y) * b.z;
    long double t4 = (a.z * b.y) * c.x;
    long double t5 = (b.z * c.y) * a.x;
    long double t6 = (c.z * a.y) * b.x;
    long double d = ((((t1 + t2) + t3) - t4) - t5) - t6;
    if (d > 0) return 1;
    if (d < 0) return -1;
    return 0;
}

struct wall {
    std::vector<vec3> vertices;
    int orientation;
};

void readDiament(std::FILE* in, std::vector<wall>& diamond) {
    int w = 0;
    (void)std::fscanf(in, "%d", &w);
    for (int i = 0; i < w; ++i) {
        wall next;
        next.orientation = 0;
        int v = 0;
        (void)std::fscanf(in, "%d", &v);
        for (int j = 0; j < v; ++j) {
            vec3 p;
            (void)std::fscanf(in, "%Lf %Lf %Lf", &p.x, &p.y, &p.z);
            next.vertices.push_back(p);
        }
        diamond.push_back(next);
    }
}

void calculateOrientations(std::vector<wall>& diamond) {
    for (std::size_t i = 0; i < diamond.size(); ++i) {
        wall& w = diamond[i];
        wall& r = i == 0 ? diamond[1] : diamond[0];
        for (std::size_t j = 0; j < r.vertices.size() && w.orientation == 0; ++j) {
            w.orientation = det(w.vertices[1] - w.vertices[0], w.vertices[2] - w.vertices[0],
                                r.vertices[j] - w.vertices[0]);
        }
    }
}

void checkPoints(std::FILE* in, std::FILE* out, std::vector<wall>& diamond) {
    int q = 0;
    (void)std::fscanf(in, "%d", &q);
    for (int i = 0; i < q; ++i) {
        vec3 p;
        (void)std::fscanf(in, "%Lf %Lf %Lf", &p.x, &p.y, &p.z);
        bool inside = true;
        for (wall& w : diamond) {
            int s = det(w.vertices[1] - w.vertices[0], w.vertices[2] - w.vertices[0], p - w.vertices[0]);
            if (s * w.orientation < 0) {
                inside = false;
                break;
            }
        }
        std::fprintf(out, inside ? "TAK\n" : "NIE\n");
    }
}

void analizujZestaw(std::FILE* in, std::FILE* out) {
    std::vector<wall> diamond;
    readDiament(in, diamond);
    calculateOrientations(diamond);
    checkPoints(in, out, diamond);
    std::fprintf(out, "\n");
}

}  // namespace

int referenceGemprobe(std::FILE* in, std::FILE* out) {
    int t = 0;
    (void)std::fscanf(in, "%d", &t);
    for (int k = 0; k < t; ++k) analizujZestaw(in, out);
    return 0;
}

std::string referenceOutput(std::string_view input) {
    std::FILE* in = fmemopen(const_cast<char*>(input.data()), input.size(), "r");
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&buffer, &size);
    referenceGemprobe(in, out);
    std::fclose(in);
    std::fclose(out);
    std::string result(buffer, size);
    std::free(buffer);
    return result;
}
