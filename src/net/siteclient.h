#pragma once
// The settings every HTTP client of the program's windows is stored with
// when it talks to the site: its own User-Agent, HTTP/1.0, relocations
// followed (at most 5), a 30-second time-out for blocking posts, form posts.
// The downloader's clients keep the component defaults instead.

class THttpCli;

void ApplySiteClientSettings(THttpCli& http);
