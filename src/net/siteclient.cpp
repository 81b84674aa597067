#include "net/siteclient.h"

#include "net/httpcli.h"

void ApplySiteClientSettings(THttpCli& http) {
    http.Agent = "quellix-client";
    http.Accept = "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";
    http.SetRequestVer("1.0");
    http.FollowRelocation = true;
    http.LocationChangeMaxCount = 5;
    http.NoCache = false;
    http.Timeout = 30;
    http.ContentTypePost = "application/x-www-form-urlencoded";
    http.LocalAddr = "0.0.0.0";
}
